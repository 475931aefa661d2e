/** @file
 * The C interface of vorl_exchange: topologies, the three planners, their
 * errors as plain values, and the word printer. Valid C11 and C++; every name
 * starts with `vx_` (types, functions) or `VX_` (constants).
 *
 * Conventions
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

/** What a call did. */
typedef enum vx_status {
    VX_OK = 0,
    VX_EXCHANGE_ERROR = 1,      /**< the planner refused: `kind` and the payload say why */
    VX_TOPOLOGY_REFUSED = 2,    /**< a table that cannot be a topology: `rule` and `entry` */
    VX_BUFFER_TOO_SMALL = 3,    /**< fewer receiver rows than the plan has: `needed_rows` */
    VX_BAD_ARGUMENT = 4,        /**< a null pointer or an impossible size */
    VX_OUT_OF_MEMORY = 5
} vx_status;

/** The variants of an exchange error, with the values of the C++ `ErrorKind`. */
typedef enum vx_error_kind {
    VX_VALIDATION_BUDGET_EXCEEDED = 0,
    VX_TILE = 1,              /**< `tile` */
    VX_DUPLICATE_TILE = 2,
    VX_COUNT = 3,             /**< `count` */
    VX_RECEIVER_SET = 4,
    VX_SCHEDULE = 5,          /**< `reason` */
    VX_PLAN_OFFSET_RANGE = 6, /**< `cycles`, `maximum` */
    VX_ADDRESS = 7,           /**< `address` */
    VX_HOST_PACKET = 8
} vx_error_kind;

/** The rules a refused topology table breaks, with the values of `TopologyRule`. */
typedef enum vx_topology_rule { VX_TABLE_TOO_LONG = 0, VX_IDENTIFIER_BEYOND_ROW_FIELD = 1 } vx_topology_rule;

/** A failure as a plain value; only the fields its status and kind name are
 * meaningful, the others are 0. `status`, `kind` and `rule` hold the values of
 * `vx_status`, `vx_error_kind` and `vx_topology_rule` in plain integers, so that
 * any value a caller writes into them is one the texts can reject. */
typedef struct vx_error {
    int32_t status;  /**< a `vx_status` */
    int32_t kind;           /**< VX_EXCHANGE_ERROR */
    uint32_t tile;          /**< VX_TILE */
    uint32_t count;         /**< VX_COUNT */
    uint32_t reason;        /**< VX_SCHEDULE: index of the reason, 0..VX_SCHEDULE_REASON_COUNT-1 */
    uint32_t cycles;        /**< VX_PLAN_OFFSET_RANGE */
    uint32_t maximum;       /**< VX_PLAN_OFFSET_RANGE */
    uint32_t address;       /**< VX_ADDRESS */
    int32_t rule;           /**< VX_TOPOLOGY_REFUSED */
    uint32_t entry;         /**< VX_TOPOLOGY_REFUSED: the first offending table entry */
    size_t needed_rows;     /**< VX_BUFFER_TOO_SMALL: the plan's receiver rows */
} vx_error;

/** How many `Schedule` reasons there are. */
#define VX_SCHEDULE_REASON_COUNT 29
/** Words in a row. */
#define VX_ROW_LENGTH 9

/** One tile's instruction row. */
typedef struct vx_row {
    uint32_t words[VX_ROW_LENGTH];  /**< the row's words */
} vx_row;

/** A topology: made by `vx_topology_tarn` or `vx_topology_from_table`, released
 * by `vx_topology_free`. */
typedef struct vx_topology vx_topology;

/** The library's version, e.g. "0.2.0" (static text). */
VORL_EXCHANGE_EXPORT const char* vx_version(void);

/** --- Topologies ------------------------------------------------------- */

/** The 1472-tile configuration, into `*topology`. */
VORL_EXCHANGE_EXPORT vx_status vx_topology_tarn(vx_topology** topology, vx_error* error);

/** A topology over `length` physical identifiers indexed by logical tile
 * (`table` may be null when `length` is 0). A table of more than 65536 entries
 * or with an identifier above 0x7ff is refused: VX_TOPOLOGY_REFUSED, naming the
 * rule and the first offending entry. On any failure `*topology` is left as
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

/** --- Planners ----------------------------------------------------------
 * On VX_OK every row the plan has is written. On any failure the rows hold no
 * plan: the receiver rows written for VX_BUFFER_TOO_SMALL are the first
 * `receiver_capacity` of a plan that did not fit, never a whole plan. */

/** One sender, one receiver. */
VORL_EXCHANGE_EXPORT vx_status vx_point_to_point(const vx_topology* topology, uint16_t sender, uint16_t receiver,
                                                 uint32_t count, vx_row* sender_row, vx_row* receiver_row,
                                                 vx_error* error);

/** One sender, `receiver_count` receivers, started `schedule_offset` cycles after
 * the earliest start. The plan has one receiver row per receiver, in the order
 * given; `*plan_receiver_rows` (when not null) receives that count whenever the
 * plan succeeded, also when `receiver_capacity` was too small for it. */
VORL_EXCHANGE_EXPORT vx_status vx_multicast(const vx_topology* topology, uint16_t sender, const uint16_t* receivers,
                                            size_t receiver_count, uint32_t count, uint32_t schedule_offset,
                                            vx_row* sender_row, vx_row* receiver_rows, size_t receiver_capacity,
                                            size_t* plan_receiver_rows, vx_error* error);

/** One sender, receivers in whole pairs receiving in the paired mode; rows as
 * for `vx_multicast`. */
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

/* --- Bulk planners -----------------------------------------------------
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
 * decreasing offsets) or VX_BUFFER_TOO_SMALL (`needed_rows` receiver rows are
 * needed) before writing anything. Planning allocates nothing for requests of
 * at most two receivers, and the call keeps no memory. */

/** `rows` holds 2 * request_count rows: request i's sender row at rows[2 * i]
 * and its receiver row at rows[2 * i + 1]. */
VORL_EXCHANGE_EXPORT vx_status vx_point_to_point_many(const vx_topology* topology, size_t request_count,
                                                      const uint16_t* senders, const uint16_t* receivers,
                                                      const uint32_t* counts, vx_row* rows, int32_t* statuses,
                                                      vx_error* request_errors, vx_error* error);

/** `sender_rows` holds request_count rows; request i's receiver rows, one per
 * receiver in the order given, start at
 * receiver_rows[receiver_offsets[i] - receiver_offsets[0]], so
 * `receiver_capacity` must be at least
 * receiver_offsets[request_count] - receiver_offsets[0]. */
VORL_EXCHANGE_EXPORT vx_status vx_multicast_many(const vx_topology* topology, size_t request_count,
                                                 const uint16_t* senders, const size_t* receiver_offsets,
                                                 const uint16_t* receivers, const uint32_t* counts,
                                                 const uint32_t* schedule_offsets, vx_row* sender_rows,
                                                 vx_row* receiver_rows, size_t receiver_capacity, int32_t* statuses,
                                                 vx_error* request_errors, vx_error* error);

/** Paired multicasts, with rows laid out as for `vx_multicast_many`. */
VORL_EXCHANGE_EXPORT vx_status vx_paired_multicast_many(const vx_topology* topology, size_t request_count,
                                                        const uint16_t* senders, const size_t* receiver_offsets,
                                                        const uint16_t* receivers, const uint32_t* counts,
                                                        vx_row* sender_rows, vx_row* receiver_rows,
                                                        size_t receiver_capacity, int32_t* statuses,
                                                        vx_error* request_errors, vx_error* error);

/** --- Texts ------------------------------------------------------------- */

/** The display text of any error value, e.g. "logical tile 7812 is out of range"
 * or "topology table entry 3: ..." (snprintf-like). */
VORL_EXCHANGE_EXPORT size_t vx_error_display(const vx_error* error, char* buffer, size_t capacity);

/** The debug form, e.g. "Tile(7812)", "Schedule(\"sender delay\")" or
 * "IdentifierBeyondRowField { entry: 3 }" (snprintf-like). */
VORL_EXCHANGE_EXPORT size_t vx_error_debug(const vx_error* error, char* buffer, size_t capacity);

/** The variant's name as the debug form writes it, e.g. "Count"; null for a
 * value that is no variant. Static text. */
VORL_EXCHANGE_EXPORT const char* vx_error_kind_name(int32_t kind);

/** The text of a `Schedule` reason, e.g. "sender delay"; null for an index of
 * VX_SCHEDULE_REASON_COUNT or more. Static text. */
VORL_EXCHANGE_EXPORT const char* vx_schedule_reason_text(uint32_t reason);

/** One readable line for an instruction word, e.g.
 * "send count=64 base_word=0 control=1" (snprintf-like). */
VORL_EXCHANGE_EXPORT size_t vx_describe(uint32_t word, char* buffer, size_t capacity);

/** --- Checking rows -------------------------------------------------------
 *
 * Whether rows that came from elsewhere are exactly the planners' plan for a
 * request, every word and every field of it, worked out from the route timing
 * and the row formats without running a planner. `*holds` (or `holds[i]`) is 1
 * when they are, 0 when any fact fails, a request the planners refuse
 * included; `vorl-plan check` names the fact. The calls fail only with
 * VX_BAD_ARGUMENT (a null pointer, decreasing offsets) or VX_OUT_OF_MEMORY, and
 * write nothing then. */

/** A point-to-point exchange's two rows. */
VORL_EXCHANGE_EXPORT vx_status vx_check_point_to_point(const vx_topology* topology, uint16_t sender, uint16_t receiver,
                                                       uint32_t count, const vx_row* sender_row,
                                                       const vx_row* receiver_row, int* holds, vx_error* error);

/** A multicast's rows: `receiver_rows` holds `receiver_count` rows, in the order of `receivers`. */
VORL_EXCHANGE_EXPORT vx_status vx_check_multicast(const vx_topology* topology, uint16_t sender,
                                                  const uint16_t* receivers, size_t receiver_count, uint32_t count,
                                                  uint32_t schedule_offset, const vx_row* sender_row,
                                                  const vx_row* receiver_rows, int* holds, vx_error* error);

/** A paired multicast's rows, laid out as for `vx_check_multicast`. */
VORL_EXCHANGE_EXPORT vx_status vx_check_paired_multicast(const vx_topology* topology, uint16_t sender,
                                                         const uint16_t* receivers, size_t receiver_count,
                                                         uint32_t count, const vx_row* sender_row,
                                                         const vx_row* receiver_rows, int* holds, vx_error* error);

/** Many point-to-point plans, laid out as `vx_point_to_point_many` writes
 * them: request i's rows at rows[2 * i] and rows[2 * i + 1]; `holds` has
 * request_count entries. */
VORL_EXCHANGE_EXPORT vx_status vx_check_point_to_point_many(const vx_topology* topology, size_t request_count,
                                                            const uint16_t* senders, const uint16_t* receivers,
                                                            const uint32_t* counts, const vx_row* rows, int* holds,
                                                            vx_error* error);

/** Many multicasts, laid out as `vx_multicast_many` writes them: request i's
 * receivers and receiver rows start at index receiver_offsets[i] -
 * receiver_offsets[0] (request_count + 1 offsets). */
VORL_EXCHANGE_EXPORT vx_status vx_check_multicast_many(const vx_topology* topology, size_t request_count,
                                                       const uint16_t* senders, const size_t* receiver_offsets,
                                                       const uint16_t* receivers, const uint32_t* counts,
                                                       const uint32_t* schedule_offsets, const vx_row* sender_rows,
                                                       const vx_row* receiver_rows, int* holds, vx_error* error);

/** Many paired multicasts, laid out as for `vx_check_multicast_many`. */
VORL_EXCHANGE_EXPORT vx_status vx_check_paired_multicast_many(const vx_topology* topology, size_t request_count,
                                                              const uint16_t* senders, const size_t* receiver_offsets,
                                                              const uint16_t* receivers, const uint32_t* counts,
                                                              const vx_row* sender_rows, const vx_row* receiver_rows,
                                                              int* holds, vx_error* error);

/* NOLINTEND(modernize-use-using) */

#ifdef __cplusplus
}
#endif

#endif /* VORL_EXCHANGE_VORL_EXCHANGE_H */
