// The sizes of the writes that sablemark feeds its digest: one per planner
// call of the case table, the size of that call's plan or error text. The
// floor program hashes a stream written in these sizes; sablemark_test holds
// the table to what the planners feed.
//
// The sizes change only where a call's outcome changes with the count, so they
// are kept as runs per call slot.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "case_table.hpp"

namespace sablemark_floor {

// From `first_count` on, call slot `slot` of table entry `entry` feeds `size`
// bytes. Slots are in the driver's order: point-to-point calls, the four
// multicast offsets, the three receiver pairs.
struct SizeRun {
    std::uint8_t entry;
    std::uint8_t slot;
    std::uint16_t first_count;
    std::uint16_t size;
};

// One run a line, as the table is read. clang-format would pack the rows.
// clang-format off
inline constexpr SizeRun size_runs[] = {
    {0, 0, 1, 88},
    {0, 1, 1, 96},
    {0, 2, 1, 96},
    {0, 3, 1, 96},
    {0, 4, 1, 58},
    {0, 5, 1, 140},
    {0, 5, 2, 71},
    {0, 5, 3, 140},
    {0, 5, 53, 71},
    {0, 5, 54, 140},
    {0, 5, 55, 71},
    {0, 5, 56, 140},
    {0, 6, 1, 140},
    {0, 6, 2, 71},
    {0, 6, 3, 140},
    {0, 6, 51, 71},
    {0, 6, 52, 140},
    {0, 6, 53, 71},
    {0, 6, 54, 140},
    {0, 7, 1, 140},
    {0, 7, 2, 71},
    {0, 7, 3, 140},
    {0, 7, 51, 71},
    {0, 7, 52, 140},
    {0, 7, 53, 71},
    {0, 7, 54, 140},
    {1, 0, 1, 88},
    {1, 1, 1, 88},
    {1, 2, 1, 140},
    {1, 3, 1, 140},
    {1, 4, 1, 140},
    {1, 5, 1, 58},
    {1, 6, 1, 140},
    {1, 6, 2, 71},
    {1, 6, 3, 140},
    {1, 6, 53, 71},
    {1, 6, 54, 140},
    {1, 6, 55, 71},
    {1, 6, 56, 140},
    {1, 7, 1, 140},
    {1, 7, 2, 71},
    {1, 7, 3, 140},
    {1, 7, 51, 71},
    {1, 7, 52, 140},
    {1, 7, 53, 71},
    {1, 7, 54, 140},
    {1, 8, 1, 140},
    {1, 8, 2, 71},
    {1, 8, 3, 140},
    {1, 8, 51, 71},
    {1, 8, 52, 140},
    {1, 8, 53, 71},
    {1, 8, 54, 140},
    {2, 0, 1, 88},
    {2, 1, 1, 96},
    {2, 2, 1, 96},
    {2, 3, 1, 96},
    {2, 4, 1, 58},
    {2, 5, 1, 140},
    {2, 5, 2, 71},
    {2, 5, 3, 140},
    {2, 5, 53, 71},
    {2, 5, 54, 140},
    {2, 5, 55, 71},
    {2, 5, 56, 140},
    {2, 6, 1, 140},
    {2, 6, 2, 71},
    {2, 6, 3, 140},
    {2, 6, 51, 71},
    {2, 6, 52, 140},
    {2, 6, 53, 71},
    {2, 6, 54, 140},
    {2, 7, 1, 140},
    {2, 7, 2, 71},
    {2, 7, 3, 140},
    {2, 7, 51, 71},
    {2, 7, 52, 140},
    {2, 7, 53, 71},
    {2, 7, 54, 140},
    {3, 0, 1, 88},
    {3, 1, 1, 88},
    {3, 2, 1, 140},
    {3, 3, 1, 140},
    {3, 4, 1, 140},
    {3, 5, 1, 60},
    {3, 6, 1, 140},
    {3, 6, 2, 71},
    {3, 6, 3, 140},
    {3, 6, 53, 71},
    {3, 6, 54, 140},
    {3, 6, 55, 71},
    {3, 6, 56, 140},
    {3, 7, 1, 140},
    {3, 7, 2, 71},
    {3, 7, 3, 140},
    {3, 7, 51, 71},
    {3, 7, 52, 140},
    {3, 7, 53, 71},
    {3, 7, 54, 140},
    {3, 8, 1, 140},
    {3, 8, 2, 71},
    {3, 8, 3, 140},
    {3, 8, 51, 71},
    {3, 8, 52, 140},
    {3, 8, 53, 71},
    {3, 8, 54, 140},
    {4, 0, 1, 88},
    {4, 1, 1, 96},
    {4, 2, 1, 96},
    {4, 3, 1, 96},
    {4, 4, 1, 58},
    {4, 5, 1, 140},
    {4, 5, 2, 71},
    {4, 5, 3, 140},
    {4, 5, 53, 71},
    {4, 5, 54, 140},
    {4, 5, 55, 71},
    {4, 5, 56, 140},
    {4, 6, 1, 140},
    {4, 6, 2, 71},
    {4, 6, 3, 140},
    {4, 6, 51, 71},
    {4, 6, 52, 140},
    {4, 6, 53, 71},
    {4, 6, 54, 140},
    {4, 7, 1, 140},
    {4, 7, 2, 71},
    {4, 7, 3, 140},
    {4, 7, 51, 71},
    {4, 7, 52, 140},
    {4, 7, 53, 71},
    {4, 7, 54, 140},
    {5, 0, 1, 88},
    {5, 1, 1, 88},
    {5, 2, 1, 140},
    {5, 3, 1, 140},
    {5, 4, 1, 140},
    {5, 5, 1, 58},
    {5, 6, 1, 140},
    {5, 6, 2, 71},
    {5, 6, 3, 140},
    {5, 6, 53, 71},
    {5, 6, 54, 140},
    {5, 6, 55, 71},
    {5, 6, 56, 140},
    {5, 7, 1, 140},
    {5, 7, 2, 71},
    {5, 7, 3, 140},
    {5, 7, 51, 71},
    {5, 7, 52, 140},
    {5, 7, 53, 71},
    {5, 7, 54, 140},
    {5, 8, 1, 140},
    {5, 8, 2, 71},
    {5, 8, 3, 140},
    {5, 8, 51, 71},
    {5, 8, 52, 140},
    {5, 8, 53, 71},
    {5, 8, 54, 140},
};
// clang-format on

// Calls `write(size)` for every planner call of the case table, in the
// driver's order.
template <class Write>
void for_each_write_size(Write&& write) {
    std::size_t first_run_of_entry = 0;
    for (std::size_t entry = 0; entry < sablemark::entries.size(); ++entry) {
        const std::size_t slots = sablemark::entries[entry].receivers.size() + sablemark::schedule_offsets.size() +
                                  sablemark::receiver_pairs.size();
        // The current run of each slot; a slot's runs follow each other in the table.
        std::array<std::size_t, 16> run{};
        std::size_t next = first_run_of_entry;
        for (std::size_t slot = 0; slot < slots; ++slot) {
            run[slot] = next;
            while (next < std::size(size_runs) && size_runs[next].entry == entry && size_runs[next].slot == slot) {
                ++next;
            }
        }
        first_run_of_entry = next;
        for (std::uint32_t count = sablemark::first_count; count <= sablemark::last_count; ++count) {
            for (std::size_t slot = 0; slot < slots; ++slot) {
                const std::size_t following = run[slot] + 1;
                if (following < std::size(size_runs) && size_runs[following].entry == entry &&
                    size_runs[following].slot == slot && size_runs[following].first_count == count) {
                    run[slot] = following;
                }
                write(std::size_t{size_runs[run[slot]].size});
            }
        }
    }
}

}  // namespace sablemark_floor
