#include "broken_axis.hpp"

#include <algorithm>
#include <cmath>

namespace vorl_plan {

namespace {

// Drawn length, in cycles of the linear scale, of a shortened stretch: the
// stretch limit plus a quarter of it for every doubling beyond.
double shortened(std::uint64_t cycles) {
    constexpr double per_doubling = static_cast<double>(BrokenAxis::stretch) / 4.0;
    const auto limit = static_cast<double>(BrokenAxis::stretch);
    return limit + per_doubling * std::log2(static_cast<double>(cycles) / limit);
}

}  // namespace

BrokenAxis::BrokenAxis(std::vector<std::uint64_t> points, double left, double width)
    : points_{std::move(points)}, left_{left} {
    points_.push_back(0);
    std::ranges::sort(points_);
    const auto [first, last] = std::ranges::unique(points_);
    points_.erase(first, last);
    if (points_.size() < 2) {
        points_.push_back(1);
    }
    const bool shorten = points_.back() > linear_span;
    std::vector<double> units;
    for (std::size_t index = 0; index + 1 < points_.size(); ++index) {
        const std::uint64_t cycles = points_[index + 1] - points_[index];
        const bool broken = shorten && cycles > stretch;
        segments_.push_back({points_[index], points_[index + 1], 0, 0, broken});
        units.push_back(broken ? shortened(cycles) : static_cast<double>(cycles));
    }
    // Scale to the width, keeping every stretch at least `minimum_pixels` wide.
    std::vector<bool> pinned(units.size(), false);
    double scale = 0;
    for (bool changed = true; changed;) {
        double free_units = 0;
        double free_width = width;
        for (std::size_t index = 0; index < units.size(); ++index) {
            if (pinned[index]) {
                free_width -= minimum_pixels;
            } else {
                free_units += units[index];
            }
        }
        scale = free_units > 0 ? free_width / free_units : 0;
        changed = false;
        for (std::size_t index = 0; index < units.size(); ++index) {
            if (!pinned[index] && units[index] * scale < minimum_pixels) {
                pinned[index] = true;
                changed = true;
            }
        }
    }
    double x = left;
    for (std::size_t index = 0; index < segments_.size(); ++index) {
        segments_[index].x0 = x;
        x += pinned[index] ? minimum_pixels : units[index] * scale;
        segments_[index].x1 = x;
    }
}

double BrokenAxis::x(std::uint64_t cycle) const noexcept {
    if (cycle <= points_.front()) {
        return left_;
    }
    const auto found = std::ranges::lower_bound(segments_, cycle, {}, &Segment::to);
    if (found == segments_.end()) {
        return segments_.back().x1;
    }
    const double fraction = static_cast<double>(cycle - found->from) / static_cast<double>(found->to - found->from);
    return found->x0 + fraction * (found->x1 - found->x0);
}

bool BrokenAxis::has_breaks() const noexcept { return std::ranges::any_of(segments_, &Segment::broken); }

}  // namespace vorl_plan
