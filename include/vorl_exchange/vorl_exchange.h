/** @file
 * The C interface of vorl_exchange: topologies, the three planners, their
 * errors as plain values, and the word printer. Valid C11 and C++; every name
 * starts with `vx_` (types, functions) or `VX_` (constants). Its calls are
 * grouped: @ref c_values, @ref c_topologies, @ref c_planners, @ref c_bulk and
 * @ref c_texts.
 *
 * Conventions:
 * - Every call that can fail returns a `vx_status` and, when `error` is not
 *   null, fills `*error` (on success too: status VX_OK, the other fields 0).
 *   A null pointer where the call needs one, or a size no buffer can have, is
 *   the status VX_BAD_ARGUMENT; no input makes a call crash or abort.
 * - No C++ type or exception crosses the interface: a failed allocation inside
 *   the library is the status VX_OUT_OF_MEMORY.
 * - Text calls work like snprintf: they write at most `capacity - 1` bytes and
 *   a terminating NUL into `buffer` (nothing when `capacity` is 0, and then
 *   `buffer` may be null) and return the length of the whole text, so a
 *   caller whose buffer was too small learns the size it needs. Fixed texts
 *   are returned as static strings instead. A text call returns 0 only when
 *   memory ran out, since no text is empty.
 *
 * Ownership: a `vx_topology` belongs to whoever made it and is released with
 * `vx_topology_free`. Rows, receiver lists and tables are the caller's; the
 * library reads or writes them only during the call and keeps no pointer.
 *
 * Thread safety: a topology is never changed after it is made, so any number
 * of threads may use one topology at once (every call taking a
 * `const vx_topology*`, the bulk planners included); `vx_topology_free` must
 * not overlap any other use of that topology. Every other call is safe from
 * any thread.
 */
#ifndef VORL_EXCHANGE_VORL_EXCHANGE_H
#define VORL_EXCHANGE_VORL_EXCHANGE_H

#include <stddef.h>
#include <stdint.h>

#include "vorl_exchange/export.hpp"

#ifdef __cplusplus
extern "C" {
#endif

/* A C header: C has typedefs, not alias declarations. */
/* NOLINTBEGIN(modernize-use-using) */

/** @defgroup c_values C statuses, errors and rows
 * What every C call returns or fills: a `vx_status`, a `vx_error` that says
 * why a call failed, and `vx_row`, the nine-word row every planner writes.
 *
 * A call that can fail returns its `vx_status` and, when its `error` argument
 * is not null, fills `*error` with the same status and, for VX_EXCHANGE_ERROR,
 * VX_TOPOLOGY_REFUSED and VX_BUFFER_TOO_SMALL, the fields that say why. On
 * success `*error` is filled too: status VX_OK, every other field 0. The texts
 * of @ref c_texts turn any `vx_error` into a line for a person.
 * @{
 */

/** What a call did. */
typedef enum vx_status {
    VX_OK = 0,               /**< The call did what it was asked. */
    VX_EXCHANGE_ERROR = 1,   /**< The planner refused: `kind` and the payload fields of `vx_error` say why. */
    VX_TOPOLOGY_REFUSED = 2, /**< The table cannot be a topology: `rule` and `entry` say why. */
    VX_BUFFER_TOO_SMALL = 3, /**< The plan has more receiver rows than the buffer: `needed_rows` of them. */
    VX_BAD_ARGUMENT = 4,     /**< A null pointer where the call needs one, or a size no buffer can have. */
    VX_OUT_OF_MEMORY = 5     /**< The library could not allocate the memory it needed. */
} vx_status;

/** The variants of an exchange error, with the values of the C++ `ErrorKind`. */
typedef enum vx_error_kind {
    VX_VALIDATION_BUDGET_EXCEEDED = 0, /**< The encoding work budget ran out; no payload. */
    VX_TILE = 1,                       /**< A logical tile the topology does not have, in `tile`. */
    VX_DUPLICATE_TILE = 2,             /**< The sender is its own receiver; no payload. */
    VX_COUNT = 3,                      /**< A word count outside 1..4148, in `count`. */
    VX_RECEIVER_SET = 4,               /**< A receiver list the planner refuses; no payload. */
    VX_SCHEDULE = 5,                   /**< The plan cannot be encoded, for the reason indexed by `reason`. */
    VX_PLAN_OFFSET_RANGE = 6,          /**< An event offset beyond the encodable one: `cycles` and `maximum`. */
    VX_ADDRESS = 7,                    /**< A tile address that cannot be encoded, in `address`. */
    VX_HOST_PACKET = 8                 /**< A host exchange address or length that cannot be encoded; no payload. */
} vx_error_kind;

/** The rules a refused topology table breaks, with the values of `TopologyRule`. */
typedef enum vx_topology_rule {
    VX_TABLE_TOO_LONG = 0,              /**< More entries than 16-bit logical tile numbers (65536). */
    VX_IDENTIFIER_BEYOND_ROW_FIELD = 1, /**< An identifier above 0x7ff, which no row can carry. */
    VX_REPEATED_IDENTIFIER = 2          /**< The identifier of `entry` is held by `earlier_entry` too. */
} vx_topology_rule;

/** A failure as a plain value; only the fields its status and kind name are
 * meaningful, the others are 0. `status`, `kind` and `rule` hold the values of
 * `vx_status`, `vx_error_kind` and `vx_topology_rule` in plain integers, so that
 * any value a caller writes into them is one the texts can reject. */
typedef struct vx_error {
    int32_t status;     /**< The `vx_status` of the call. */
    int32_t kind;       /**< For VX_EXCHANGE_ERROR: the `vx_error_kind`. */
    uint32_t tile;      /**< For VX_TILE: the logical tile. */
    uint32_t count;     /**< For VX_COUNT: the word count. */
    uint32_t reason;    /**< For VX_SCHEDULE: the index of the reason, 0 to VX_SCHEDULE_REASON_COUNT - 1. */
    uint32_t cycles;    /**< For VX_PLAN_OFFSET_RANGE: the offset in cycles. */
    uint32_t maximum;   /**< For VX_PLAN_OFFSET_RANGE: the largest encodable offset. */
    uint32_t address;   /**< For VX_ADDRESS: the address. */
    int32_t rule;       /**< For VX_TOPOLOGY_REFUSED: the `vx_topology_rule` broken. */
    uint32_t entry;     /**< For VX_TOPOLOGY_REFUSED: the first offending table entry. */
    uint32_t earlier_entry; /**< For VX_REPEATED_IDENTIFIER: the earlier entry holding the same identifier. */
    size_t needed_rows; /**< For VX_BUFFER_TOO_SMALL: the receiver rows the plan (or the requests) need. */
} vx_error;

/** How many `Schedule` reasons there are. */
#define VX_SCHEDULE_REASON_COUNT 29
/** Words in a row. */
#define VX_ROW_LENGTH 9

/** One tile's instruction row. */
typedef struct vx_row {
    uint32_t words[VX_ROW_LENGTH]; /**< The row's words: the timed part up to the closing word, then zeros. */
} vx_row;

/** The library's version, for example "0.2.0" (static text). */
VORL_EXCHANGE_EXPORT const char* vx_version(void);

/** @} */

/** @defgroup c_topologies C topologies
 * A topology maps logical tile numbers to physical identifiers; every planner
 * works on one. `vx_topology_tarn` makes the 1472-tile configuration,
 * `vx_topology_from_table` one from a table of the caller's. A topology never
 * changes once made, so any number of threads may plan on one at once;
 * `vx_topology_free` releases it and must not overlap any other use of it.
 * @{
 */

/** A topology: made by `vx_topology_tarn` or `vx_topology_from_table`, released
 * by `vx_topology_free`. */
typedef struct vx_topology vx_topology;

/** The 1472-tile configuration, into `*topology`. */
VORL_EXCHANGE_EXPORT vx_status vx_topology_tarn(vx_topology** topology, vx_error* error);

/** A topology over `length` physical identifiers indexed by logical tile
 * (`table` may be null when `length` is 0). A table of more than 65536 entries,
 * with an identifier above 0x7ff, or holding one identifier twice is refused:
 * VX_TOPOLOGY_REFUSED, naming the rule and the first offending entry (and for a
 * repeat the earlier entry). On any failure `*topology` is left as
 * it was. */
VORL_EXCHANGE_EXPORT vx_status vx_topology_from_table(const uint16_t* table, size_t length, vx_topology** topology,
                                                      vx_error* error);

/** Releases a topology; a null pointer is ignored. */
VORL_EXCHANGE_EXPORT void vx_topology_free(vx_topology* topology);

/** The physical identifier of `logical`, or the exchange error VX_TILE. */
VORL_EXCHANGE_EXPORT vx_status vx_topology_physical(const vx_topology* topology, uint16_t logical, uint16_t* physical,
                                                    vx_error* error);

/** The logical tile paired with `logical`, or the exchange error VX_TILE. */
VORL_EXCHANGE_EXPORT vx_status vx_topology_paired_logical(const vx_topology* topology, uint16_t logical,
                                                          uint16_t* partner, vx_error* error);

/** The number of logical tiles; 0 for a null topology. */
VORL_EXCHANGE_EXPORT size_t vx_topology_tile_count(const vx_topology* topology);

/** 1 when `first` and `second` are each other's partner (each is the other's
 * `vx_topology_paired_logical`), else 0; 0 for a null topology. */
VORL_EXCHANGE_EXPORT int vx_are_partners(const vx_topology* topology, uint16_t first, uint16_t second);

/** @} */

/** @defgroup c_planners C planners
 * One exchange per call: a point-to-point, a multicast or a paired multicast,
 * planned on a topology into rows the caller provides.
 *
 * On VX_OK every row the plan has is written. On any failure the rows hold no
 * plan: the receiver rows written for VX_BUFFER_TOO_SMALL are the first
 * `receiver_capacity` of a plan that did not fit, never a whole plan. A
 * refused exchange is VX_EXCHANGE_ERROR, with the error's kind and payload in
 * `*error`; the planner checks the count first, then the tiles or the receiver
 * list, then the cycle windows, and the first check that fails is the one
 * reported.
 *
 * A multicast from tile 0 to tiles 2 and 1, one word, ten cycles after its
 * earliest start:
 * @code{.c}
 * vx_topology* tarn = NULL;
 * vx_error error;
 * if (vx_topology_tarn(&tarn, &error) == VX_OK) {
 *     const uint16_t receivers[] = {2, 1};
 *     vx_row sender;
 *     vx_row rows[2];
 *     size_t planned = 0;
 *     if (vx_multicast(tarn, 0, receivers, 2, 1, 10, &sender, rows, 2, &planned, &error) != VX_OK) {
 *         char text[128];
 *         vx_error_display(&error, text, sizeof text);
 *         fprintf(stderr, "%s\n", text);
 *     }
 *     vx_topology_free(tarn);
 * }
 * @endcode
 * @{
 */

/** One sender, one receiver: `count` words from `sender` to `receiver`.
 *
 * Writes the sender's row into `*sender_row` and the receiver's into
 * `*receiver_row`. Refused with VX_EXCHANGE_ERROR, in this order of checks,
 * for a count outside 1..4148 (VX_COUNT), a sender that is its own receiver
 * (VX_DUPLICATE_TILE) or a tile the topology lacks (VX_TILE).
 *
 * @code{.c}
 * vx_row sender_row, receiver_row;
 * if (vx_point_to_point(tarn, 0, 2, 100, &sender_row, &receiver_row, &error) == VX_OK) {
 *     char line[64];
 *     vx_describe(sender_row.words[1], line, sizeof line);  // "delay advance_cycles=143"
 * }
 * @endcode
 */
VORL_EXCHANGE_EXPORT vx_status vx_point_to_point(const vx_topology* topology, uint16_t sender, uint16_t receiver,
                                                 uint32_t count, vx_row* sender_row, vx_row* receiver_row,
                                                 vx_error* error);

/** One sender, `receiver_count` receivers, started `schedule_offset` cycles after
 * the earliest start.
 *
 * The plan has one receiver row per receiver, in the order given, written to
 * `receiver_rows` (room for `receiver_capacity` rows); `*plan_receiver_rows`
 * (when not null) receives that count whenever the plan succeeded, also when
 * `receiver_capacity` was too small for it (then VX_BUFFER_TOO_SMALL, with the
 * count in `needed_rows`). `vx_multicast_offset_limit` gives the largest
 * `schedule_offset` that plans. */
VORL_EXCHANGE_EXPORT vx_status vx_multicast(const vx_topology* topology, uint16_t sender, const uint16_t* receivers,
                                            size_t receiver_count, uint32_t count, uint32_t schedule_offset,
                                            vx_row* sender_row, vx_row* receiver_rows, size_t receiver_capacity,
                                            size_t* plan_receiver_rows, vx_error* error);

/** One sender, receivers in whole pairs receiving in the 64-bit paired mode.
 *
 * Every receiver's partner (`vx_topology_paired_logical`) must be in the list
 * too, or the list is refused (VX_RECEIVER_SET). Rows, `receiver_capacity` and
 * `*plan_receiver_rows` work as for `vx_multicast`.
 *
 * @code{.c}
 * const uint16_t pair[] = {2, 3};
 * vx_row sender_row, receiver_rows[2];
 * vx_status status = vx_paired_multicast(tarn, 0, pair, 2, 64, &sender_row, receiver_rows, 2, NULL, &error);
 * @endcode
 */
VORL_EXCHANGE_EXPORT vx_status vx_paired_multicast(const vx_topology* topology, uint16_t sender,
                                                   const uint16_t* receivers, size_t receiver_count, uint32_t count,
                                                   vx_row* sender_row, vx_row* receiver_rows, size_t receiver_capacity,
                                                   size_t* plan_receiver_rows, vx_error* error);

/** The largest `schedule_offset` at which `vx_multicast` plans with these
 * arguments, into `*limit`: every offset from 0 to the limit plans, none above
 * it. When no offset plans, the exchange error `vx_multicast` gives at offset 0. */
VORL_EXCHANGE_EXPORT vx_status vx_multicast_offset_limit(const vx_topology* topology, uint16_t sender,
                                                         const uint16_t* receivers, size_t receiver_count,
                                                         uint32_t count, uint32_t* limit, vx_error* error);

/** Into `*early`: 1 when `receiver` is the early tile of its pair for a paired
 * multicast from `sender` (its mux time from the sender is smaller than its
 * partner's), else 0; or the exchange error VX_TILE. */
VORL_EXCHANGE_EXPORT vx_status vx_paired_receiver_is_early(const vx_topology* topology, uint16_t receiver,
                                                           uint16_t sender, int* early, vx_error* error);

/** @} */

/** @defgroup c_bulk C bulk planners
 * Many requests in one call, each planned exactly as the single call plans it.
 * Requests come as parallel arrays of `request_count` entries, one entry per
 * request. The receiver lists of the multicast calls are one flat array
 * `receivers`, with `request_count + 1` nondecreasing `receiver_offsets`:
 * request i names receivers[receiver_offsets[i]] up to, not including,
 * receivers[receiver_offsets[i + 1]] (the layout of a compressed sparse row
 * matrix; offsets need not start at 0).
 *
 * Results go to the caller's arrays, in request order:
 * - `statuses[i]`: VX_OK, VX_EXCHANGE_ERROR (the planner refused request i), or
 *   VX_OUT_OF_MEMORY (a receiver list of more than two tiles needed memory
 *   that was not there);
 * - `request_errors` (may be null): `request_errors[i]` is the vx_error the
 *   single call fills for request i, so its texts are those of the single call;
 * - rows: a planned request's rows as the single call writes them; a failed
 *   request's rows are all zeros.
 * A failed request never stops the others. The call itself returns VX_OK once
 * every request has its status (whatever those statuses are). It returns
 * VX_BAD_ARGUMENT (a null pointer for a nonempty array, an impossible size,
 * a pair of offsets that decreases, the last pair included) or
 * VX_BUFFER_TOO_SMALL (`needed_rows` receiver rows are needed) before writing
 * anything. Planning allocates nothing for requests of at most two receivers,
 * and the call keeps no memory.
 *
 * The VX_BAD_ARGUMENT of a bulk call names the argument: `rule` holds its
 * `vx_argument` and `entry`, for decreasing offsets, the index i of the first
 * receiver_offsets[i] below receiver_offsets[i - 1] (0 otherwise; 0xffffffff
 * for an index beyond 32 bits). The texts say the same, for example
 * "receiver_offsets[2] is below receiver_offsets[1]"; a VX_BAD_ARGUMENT with
 * `rule` 0 (every other call's) keeps the text that names no argument.
 * @{
 */

/** The arguments of the bulk calls, as a VX_BAD_ARGUMENT names them in `rule`. */
typedef enum vx_argument {
    VX_ARGUMENT_UNNAMED = 0, /**< No argument named: the value of every call but the bulk calls. */
    VX_ARGUMENT_TOPOLOGY = 1, /**< The topology. */
    VX_ARGUMENT_REQUEST_COUNT = 2, /**< The number of requests. */
    VX_ARGUMENT_SENDERS = 3, /**< The senders. */
    VX_ARGUMENT_RECEIVER_OFFSETS = 4, /**< The offsets; `entry` is the offset below its predecessor, or 0. */
    VX_ARGUMENT_RECEIVERS = 5, /**< The receivers. */
    VX_ARGUMENT_COUNTS = 6, /**< The word counts. */
    VX_ARGUMENT_SCHEDULE_OFFSETS = 7, /**< The schedule offsets. */
    VX_ARGUMENT_ROWS = 8, /**< The rows. */
    VX_ARGUMENT_SENDER_ROWS = 9, /**< The sender rows. */
    VX_ARGUMENT_RECEIVER_ROWS = 10, /**< The receiver rows. */
    VX_ARGUMENT_RECEIVER_CAPACITY = 11, /**< The capacity of the receiver rows. */
    VX_ARGUMENT_STATUSES = 12 /**< The statuses. */
} vx_argument;

/** The parameter name of a `vx_argument`, for example "receiver_offsets"; null for
 * VX_ARGUMENT_UNNAMED and for a value that is no argument. Static text. */
VORL_EXCHANGE_EXPORT const char* vx_argument_name(int32_t argument);

/** Point-to-point exchanges in bulk: request i sends `counts[i]` words from
 * `senders[i]` to `receivers[i]`.
 *
 * `rows` holds 2 * request_count rows: request i's sender row at rows[2 * i]
 * and its receiver row at rows[2 * i + 1]. `statuses[i]` is request i's
 * status, `request_errors[i]` (when `request_errors` is not null) its error;
 * a refused request's two rows are zeros. Returns VX_OK once every request
 * has its status, or VX_BAD_ARGUMENT, before writing anything, for a null
 * topology, a null array while `request_count` is not 0, or a `request_count`
 * too large for any buffer of rows. */
VORL_EXCHANGE_EXPORT vx_status vx_point_to_point_many(const vx_topology* topology, size_t request_count,
                                                      const uint16_t* senders, const uint16_t* receivers,
                                                      const uint32_t* counts, vx_row* rows, int32_t* statuses,
                                                      vx_error* request_errors, vx_error* error);

/** Multicasts in bulk: request i sends `counts[i]` words from `senders[i]` to
 * its receivers, `schedule_offsets[i]` cycles after the earliest start.
 *
 * Request i's receivers are receivers[receiver_offsets[i]] up to, not
 * including, receivers[receiver_offsets[i + 1]]; the `request_count + 1`
 * offsets must not decrease. `sender_rows` holds request_count rows; request
 * i's receiver rows, one per receiver in the order given, start at
 * receiver_rows[receiver_offsets[i] - receiver_offsets[0]], so
 * `receiver_capacity` must be at least
 * receiver_offsets[request_count] - receiver_offsets[0] (else
 * VX_BUFFER_TOO_SMALL, with that number in `needed_rows`). `statuses[i]` is
 * VX_OK, VX_EXCHANGE_ERROR or VX_OUT_OF_MEMORY, `request_errors[i]` (when
 * `request_errors` is not null) the error; a refused request's rows are zeros.
 * Returns VX_OK once every request has its status; VX_BAD_ARGUMENT, before
 * writing anything, for a null topology, a null array while `request_count`
 * is not 0 (`receivers` may be null when no request names a receiver),
 * decreasing offsets, or a size too large for any buffer.
 *
 * Two requests from tile 0, to tiles {2, 1} and to tile {5}:
 * @code{.c}
 * const uint16_t senders[] = {0, 0};
 * const size_t offsets[] = {0, 2, 3};
 * const uint16_t receivers[] = {2, 1, 5};
 * const uint32_t counts[] = {1, 100};
 * const uint32_t schedule_offsets[] = {0, 0};
 * vx_row sender_rows[2], receiver_rows[3];
 * int32_t statuses[2];
 * vx_status status = vx_multicast_many(tarn, 2, senders, offsets, receivers, counts, schedule_offsets,
 *                                      sender_rows, receiver_rows, 3, statuses, NULL, &error);
 * @endcode
 */
VORL_EXCHANGE_EXPORT vx_status vx_multicast_many(const vx_topology* topology, size_t request_count,
                                                 const uint16_t* senders, const size_t* receiver_offsets,
                                                 const uint16_t* receivers, const uint32_t* counts,
                                                 const uint32_t* schedule_offsets, vx_row* sender_rows,
                                                 vx_row* receiver_rows, size_t receiver_capacity, int32_t* statuses,
                                                 vx_error* request_errors, vx_error* error);

/** Paired multicasts in bulk, with receivers and rows laid out as for
 * `vx_multicast_many`.
 *
 * Request i is planned as `vx_paired_multicast` plans it; statuses,
 * `request_errors`, VX_BAD_ARGUMENT and VX_BUFFER_TOO_SMALL work as for
 * `vx_multicast_many`. */
VORL_EXCHANGE_EXPORT vx_status vx_paired_multicast_many(const vx_topology* topology, size_t request_count,
                                                        const uint16_t* senders, const size_t* receiver_offsets,
                                                        const uint16_t* receivers, const uint32_t* counts,
                                                        vx_row* sender_rows, vx_row* receiver_rows,
                                                        size_t receiver_capacity, int32_t* statuses,
                                                        vx_error* request_errors, vx_error* error);

/** @} */

/** @defgroup c_texts C texts
 * Lines for people: an error's display text and debug form, the names of
 * error kinds and `Schedule` reasons, and a readable line for an instruction
 * word. Calls that write into a buffer work like snprintf: they write at most
 * `capacity - 1` bytes and a terminating NUL (nothing when `capacity` is 0,
 * and then `buffer` may be null) and return the length of the whole text, so
 * that a caller whose buffer was too small learns the size it needs.
 * @{
 */

/** The display text of any error value (snprintf-like), for example
 * "logical tile 7812 is out of range" or "topology table entry 3: ...". */
VORL_EXCHANGE_EXPORT size_t vx_error_display(const vx_error* error, char* buffer, size_t capacity);

/** The debug form of any error value (snprintf-like), for example
 * "Tile(7812)", "Schedule(\"sender delay\")" or
 * "IdentifierBeyondRowField { entry: 3 }". */
VORL_EXCHANGE_EXPORT size_t vx_error_debug(const vx_error* error, char* buffer, size_t capacity);

/** The name of an exchange error's kind as the debug form writes it, for
 * example "Count"; null for a value that is no kind. Static text. */
VORL_EXCHANGE_EXPORT const char* vx_error_kind_name(int32_t kind);

/** The text of a `Schedule` reason, for example "sender delay"; null for an
 * index of VX_SCHEDULE_REASON_COUNT or more. Static text. */
VORL_EXCHANGE_EXPORT const char* vx_schedule_reason_text(uint32_t reason);

/** The rules a refused receiver list breaks, with the values of the C++
 * `ReceiverRule`. A multicast tests the list for EMPTY_LIST, SENDER_ALONE, then
 * entry by entry REPEATED and OUTSIDE_TOPOLOGY; a paired multicast for
 * EMPTY_LIST, ODD_COUNT, REPEATED, then entry by entry OUTSIDE_TOPOLOGY,
 * NO_PARTNER and PARTNER_MISSING. */
typedef enum vx_receiver_rule {
    VX_RECEIVER_EMPTY_LIST = 0,       /**< The list holds no receiver. */
    VX_RECEIVER_SENDER_ALONE = 1,     /**< The one receiver listed is the sender. */
    VX_RECEIVER_ODD_COUNT = 2,        /**< An odd number of receivers, so not whole pairs. */
    VX_RECEIVER_REPEATED = 3,         /**< The tile is listed earlier too. */
    VX_RECEIVER_OUTSIDE_TOPOLOGY = 4, /**< The tile is not in the topology. */
    VX_RECEIVER_NO_PARTNER = 5,       /**< No tile of the topology pairs with it. */
    VX_RECEIVER_PARTNER_MISSING = 6   /**< Its partner is not in the list. */
} vx_receiver_rule;

/** Why a planner refuses a receiver list: the first offending entry and the rule
 * it breaks. When `has_entry` is 0 the rule is one of the whole list
 * (EMPTY_LIST, ODD_COUNT) and `entry` and `tile` are 0. */
typedef struct vx_receiver_fault {
    int32_t refused;   /**< 1 when the planner refuses the list; 0 when it passes, the other fields 0. */
    int32_t rule;      /**< The `vx_receiver_rule` broken. */
    int32_t has_entry; /**< 1 when `entry` and `tile` name the offending entry. */
    uint32_t tile;     /**< The tile listed at `entry`. */
    size_t entry;      /**< The offending entry's position in the list, counted from 0. */
} vx_receiver_fault;

/** Why `vx_multicast` with this topology, sender and receiver list returns the
 * exchange error VX_RECEIVER_SET, into `*fault`: the same checks in the same
 * order. The count and the sender are checked before the list and play no
 * part; for a list that passes, `fault->refused` is 0. */
VORL_EXCHANGE_EXPORT vx_status vx_multicast_receiver_fault(const vx_topology* topology, uint16_t sender,
                                                           const uint16_t* receivers, size_t receiver_count,
                                                           vx_receiver_fault* fault, vx_error* error);

/** Why `vx_paired_multicast` with this topology and receiver list returns
 * VX_RECEIVER_SET, into `*fault`, as `vx_multicast_receiver_fault` does. The
 * paired rules do not involve the sender, so it is not asked for. */
VORL_EXCHANGE_EXPORT vx_status vx_paired_receiver_fault(const vx_topology* topology, const uint16_t* receivers,
                                                        size_t receiver_count, vx_receiver_fault* fault,
                                                        vx_error* error);

/** The rule's name, for example "PartnerMissing"; null for a value that is no rule. Static text. */
VORL_EXCHANGE_EXPORT const char* vx_receiver_rule_name(int32_t rule);

/** What breaks the rule, for example "is outside the topology" (worded to follow
 * "the receiver at position N, tile T,") or, for a rule of the whole list,
 * "the receiver list is empty"; null for a value that is no rule. Static text. */
VORL_EXCHANGE_EXPORT const char* vx_receiver_rule_text(int32_t rule);

/** One readable line for an instruction word (snprintf-like), for example
 * "send count=64 base_word=0 control=1". */
VORL_EXCHANGE_EXPORT size_t vx_describe(uint32_t word, char* buffer, size_t capacity);

/** @} */

/** @defgroup c_check C plan checks
 * Whether rows that came from elsewhere are exactly the planners' plan for a
 * request, every word and every field of it, worked out from the route timing
 * and the row formats without running a planner. `*holds` (or `holds[i]`) is 1
 * when they are, 0 when any fact fails, a request the planners refuse
 * included; `vorl-plan check` names the fact. The calls fail only with
 * VX_BAD_ARGUMENT (a null pointer, decreasing offsets) or VX_OUT_OF_MEMORY, and
 * write nothing then.
 * @{
 */

/** Checks a point-to-point exchange's two rows. */
VORL_EXCHANGE_EXPORT vx_status vx_check_point_to_point(const vx_topology* topology, uint16_t sender, uint16_t receiver,
                                                       uint32_t count, const vx_row* sender_row,
                                                       const vx_row* receiver_row, int* holds, vx_error* error);

/** Checks a multicast's rows: `receiver_rows` holds `receiver_count` rows, in the order of `receivers`. */
VORL_EXCHANGE_EXPORT vx_status vx_check_multicast(const vx_topology* topology, uint16_t sender,
                                                  const uint16_t* receivers, size_t receiver_count, uint32_t count,
                                                  uint32_t schedule_offset, const vx_row* sender_row,
                                                  const vx_row* receiver_rows, int* holds, vx_error* error);

/** Checks a paired multicast's rows, laid out as for `vx_check_multicast`. */
VORL_EXCHANGE_EXPORT vx_status vx_check_paired_multicast(const vx_topology* topology, uint16_t sender,
                                                         const uint16_t* receivers, size_t receiver_count,
                                                         uint32_t count, const vx_row* sender_row,
                                                         const vx_row* receiver_rows, int* holds, vx_error* error);

/** Checks many point-to-point plans, laid out as `vx_point_to_point_many` writes
 * them: request i's rows at rows[2 * i] and rows[2 * i + 1]; `holds` has
 * request_count entries. */
VORL_EXCHANGE_EXPORT vx_status vx_check_point_to_point_many(const vx_topology* topology, size_t request_count,
                                                            const uint16_t* senders, const uint16_t* receivers,
                                                            const uint32_t* counts, const vx_row* rows, int* holds,
                                                            vx_error* error);

/** Checks many multicasts, laid out as `vx_multicast_many` writes them: request i's
 * receivers and receiver rows start at index receiver_offsets[i] -
 * receiver_offsets[0] (request_count + 1 offsets). */
VORL_EXCHANGE_EXPORT vx_status vx_check_multicast_many(const vx_topology* topology, size_t request_count,
                                                       const uint16_t* senders, const size_t* receiver_offsets,
                                                       const uint16_t* receivers, const uint32_t* counts,
                                                       const uint32_t* schedule_offsets, const vx_row* sender_rows,
                                                       const vx_row* receiver_rows, int* holds, vx_error* error);

/** Checks many paired multicasts, laid out as for `vx_check_multicast_many`. */
VORL_EXCHANGE_EXPORT vx_status vx_check_paired_multicast_many(const vx_topology* topology, size_t request_count,
                                                              const uint16_t* senders, const size_t* receiver_offsets,
                                                              const uint16_t* receivers, const uint32_t* counts,
                                                              const vx_row* sender_rows, const vx_row* receiver_rows,
                                                              int* holds, vx_error* error);
/** @} */

/* NOLINTEND(modernize-use-using) */

#ifdef __cplusplus
}
#endif

#endif /* VORL_EXCHANGE_VORL_EXCHANGE_H */
