/* The C interface from a C11 program: prints the rows of one point-to-point
 * plan like the C++ consumer, then checks the failure paths a C caller meets;
 * each failed check is printed and makes the exit status 1. */
#include <stdio.h>
#include <string.h>

#include <vorl_exchange/vorl_exchange.h>

static int failures = 0;

static void check(int holds, const char* what) {
    if (!holds) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

static void check_text(size_t (*text)(const vx_error*, char*, size_t), const vx_error* error, const char* expected,
                       const char* what) {
    char buffer[200];
    const size_t length = text(error, buffer, sizeof buffer);
    check(length == strlen(expected) && strcmp(buffer, expected) == 0, what);
    if (strcmp(buffer, expected) != 0) {
        fprintf(stderr, "  got \"%s\"\n", buffer);
    }
}

static void print_row(const vx_row* row) {
    for (int index = 0; index < VX_ROW_LENGTH; ++index) {
        printf("%08x ", (unsigned)row->words[index]);
    }
    printf("\n");
}

int main(void) {
    vx_topology* tarn = NULL;
    vx_error error;
    if (vx_topology_tarn(&tarn, &error) != VX_OK) {
        return 1;
    }
    vx_row sender;
    vx_row receiver;
    check(vx_point_to_point(tarn, 0, 2, 1, &sender, &receiver, &error) == VX_OK, "point to point 0 -> 2");
    print_row(&sender);
    print_row(&receiver);

    /* An exchange error, its texts, and a display text cut short snprintf-style. */
    check(vx_point_to_point(tarn, 0, 2, 0, &sender, &receiver, &error) == VX_EXCHANGE_ERROR && error.kind == VX_COUNT &&
              error.count == 0,
          "count 0 is a Count error");
    check_text(vx_error_display, &error, "exchange count 0 is outside 1..=4148", "Count display");
    check_text(vx_error_debug, &error, "Count(0)", "Count debug");
    char short_buffer[8];
    check(vx_error_display(&error, short_buffer, sizeof short_buffer) == 36 && strcmp(short_buffer, "exchang") == 0,
          "a short buffer gets a terminated prefix and the whole length");

    const uint16_t late_start[] = {407, 380};
    vx_row rows[2];
    size_t planned = 0;
    check(
        vx_multicast(tarn, 1287, late_start, 2, 1543, 4096, &sender, rows, 2, &planned, &error) == VX_EXCHANGE_ERROR &&
            error.kind == VX_SCHEDULE,
        "a late multicast start is a Schedule error");
    check(strcmp(vx_schedule_reason_text(error.reason), "multicast start cycle") == 0, "Schedule reason text");
    check(strcmp(vx_error_kind_name(error.kind), "Schedule") == 0, "variant name");
    check_text(vx_error_debug, &error, "Schedule(\"multicast start cycle\")", "Schedule debug");
    check(vx_schedule_reason_text(VX_SCHEDULE_REASON_COUNT) == NULL, "no reason past the last");

    /* Receiver rows: a buffer too small learns the plan's size; a null one asks for it. */
    const uint16_t receivers[] = {2, 1};
    check(vx_multicast(tarn, 0, receivers, 2, 1, 10, &sender, rows, 1, &planned, &error) == VX_BUFFER_TOO_SMALL &&
              error.needed_rows == 2 && planned == 2,
          "a one-row buffer for two receivers");
    check(vx_multicast(tarn, 0, receivers, 2, 1, 10, &sender, NULL, 0, &planned, NULL) == VX_BUFFER_TOO_SMALL,
          "a size query without an error value");
    check(vx_multicast(tarn, 0, receivers, 2, 1, 10, &sender, rows, 2, &planned, &error) == VX_OK &&
              rows[1].words[1] == 0x64034000u,
          "the multicast of the worked example");
    const uint16_t pair[] = {2, 3};
    check(vx_paired_multicast(tarn, 0, pair, 2, 1, &sender, rows, 2, NULL, &error) == VX_OK &&
              sender.words[2] == 0x78000005u,
          "a paired multicast");

    /* A refused receiver list, and why: the second receiver is outside the topology. */
    const uint16_t beyond[] = {2, 5000};
    vx_receiver_fault fault;
    check(vx_multicast(tarn, 0, beyond, 2, 1, 0, &sender, rows, 2, NULL, &error) == VX_EXCHANGE_ERROR &&
              error.kind == VX_RECEIVER_SET,
          "a receiver outside the topology is a ReceiverSet error");
    check(vx_multicast_receiver_fault(tarn, 0, beyond, 2, &fault, &error) == VX_OK && fault.refused == 1 &&
              fault.rule == VX_RECEIVER_OUTSIDE_TOPOLOGY && fault.has_entry == 1 && fault.entry == 1 &&
              fault.tile == 5000,
          "the fault names position 1, tile 5000");
    check(strcmp(vx_receiver_rule_name(fault.rule), "OutsideTopology") == 0, "receiver rule name");
    check(vx_paired_receiver_fault(tarn, pair, 2, &fault, &error) == VX_OK && fault.refused == 0,
          "a whole pair has no fault");

    /* Null pointers and impossible sizes are errors, never crashes. */
    check(vx_point_to_point(NULL, 0, 2, 1, &sender, &receiver, &error) == VX_BAD_ARGUMENT, "null topology");
    check(vx_point_to_point(tarn, 0, 2, 1, NULL, &receiver, &error) == VX_BAD_ARGUMENT, "null row");
    check(vx_multicast(tarn, 0, NULL, 2, 1, 0, &sender, rows, 2, NULL, &error) == VX_BAD_ARGUMENT, "null receivers");
    check(vx_multicast(tarn, 0, receivers, (size_t)-1, 1, 0, &sender, rows, 2, NULL, &error) == VX_BAD_ARGUMENT,
          "impossible receiver count");
    check(vx_topology_physical(tarn, 0, NULL, &error) == VX_BAD_ARGUMENT, "null output");
    check(vx_topology_tarn(NULL, &error) == VX_BAD_ARGUMENT, "null topology output");
    check(vx_error_display(NULL, NULL, 0) > 0, "display of a null error value");
    error.status = VX_EXCHANGE_ERROR;
    error.kind = 42;
    check_text(vx_error_display, &error, "not a vx_error value", "display of a value that is no variant");
    check(vx_error_kind_name(error.kind) == NULL, "no name for a value that is no variant");
    error.status = 42;
    check_text(vx_error_debug, &error, "not a vx_error value", "debug of a value that is no status");

    /* Custom tables go through the validating factory: a refusal is a value. */
    const uint16_t table[] = {0, 2, 0x800};
    vx_topology* custom = NULL;
    check(vx_topology_from_table(table, 3, &custom, &error) == VX_TOPOLOGY_REFUSED && custom == NULL &&
              error.rule == VX_IDENTIFIER_BEYOND_ROW_FIELD && error.entry == 2,
          "an identifier beyond 11 bits is refused");
    check_text(vx_error_display, &error,
               "topology table entry 2: a physical identifier must fit in 11 bits (bits 11 to 15 clear)",
               "refusal display");
    check(vx_topology_from_table(table, 65537, &custom, &error) == VX_TOPOLOGY_REFUSED &&
              error.rule == VX_TABLE_TOO_LONG && error.entry == 65536,
          "a table longer than the logical range is refused unread");
    const uint16_t twice[] = {0, 0, 2};
    check(vx_topology_from_table(twice, 3, &custom, &error) == VX_TOPOLOGY_REFUSED && custom == NULL &&
              error.rule == VX_REPEATED_IDENTIFIER && error.entry == 1 && error.earlier_entry == 0,
          "an identifier held twice is refused, naming both entries");
    check(vx_topology_from_table(table, 2, &custom, &error) == VX_OK, "a valid table");
    uint16_t partner = 0;
    check(vx_topology_paired_logical(custom, 0, &partner, &error) == VX_OK && partner == 1, "pair in the table");
    vx_topology_free(custom);

    char line[64];
    check(vx_describe(0x78000001u, line, sizeof line) == 34 && strcmp(line, "send count=1 base_word=0 control=1") == 0,
          "describe");
    check(strlen(vx_version()) >= 5, "version");
    vx_topology_free(tarn);
    vx_topology_free(NULL);
    return failures == 0 ? 0 : 1;
}
