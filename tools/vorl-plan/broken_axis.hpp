// The x axis of the timeline picture: linear while a plan is short; when it spans
// many cycles, every stretch longer than `stretch` cycles between two points of
// interest is drawn shortened (its length grows only with the logarithm of the
// cycles it covers) and marked as a break. Ticks always name true cycles.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vorl_plan {

class BrokenAxis {
public:
    // Plans no longer than this are drawn to one linear scale.
    static constexpr std::uint64_t linear_span = 600;
    // Stretches longer than this are shortened in longer plans.
    static constexpr std::uint64_t stretch = 100;
    // Narrowest drawing of a stretch of at least one cycle, in pixels.
    static constexpr double minimum_pixels = 4.0;

    struct Segment {
        std::uint64_t from = 0;
        std::uint64_t to = 0;
        double x0 = 0;
        double x1 = 0;
        bool broken = false;
    };

    // `points` are the cycles that must be told apart (0 is always one of them).
    BrokenAxis(std::vector<std::uint64_t> points, double left, double width);

    [[nodiscard]] double x(std::uint64_t cycle) const noexcept;
    [[nodiscard]] std::span<const Segment> segments() const noexcept { return segments_; }
    [[nodiscard]] std::span<const std::uint64_t> points() const noexcept { return points_; }
    [[nodiscard]] bool has_breaks() const noexcept;

private:
    std::vector<std::uint64_t> points_;
    std::vector<Segment> segments_;
    double left_;
};

}  // namespace vorl_plan
