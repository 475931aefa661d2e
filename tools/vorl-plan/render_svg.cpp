#include <array>
#include <cstdio>
#include <limits>

#include "broken_axis.hpp"
#include "render.hpp"

namespace vorl_plan {

namespace {

using vorl_exchange::WordFamily;

constexpr double canvas_width = 1360;
constexpr double plot_left = 190;
constexpr double plot_width = canvas_width - plot_left - 40;
constexpr double axis_y = 124;
constexpr double lanes_top = 132;
constexpr double lane_height = 92;
constexpr double box_top = 22;  // within a lane
constexpr double box_height = 24;
constexpr double label_row_height = 13;
constexpr double label_char_width = 6.7;  // 11px monospace
constexpr double tick_char_width = 6.1;   // 10px monospace

struct Colours {
    const char* fill;
    const char* stroke;
};

Colours colours(WordFamily family) {
    switch (family) {
        case WordFamily::PlainDelay: return {"#dddddd", "#888888"};
        case WordFamily::PicDelay: return {"#a6cee3", "#1f78b4"};
        case WordFamily::XpicDelay: return {"#fdbf6f", "#e66101"};
        case WordFamily::SendControlPair: return {"#cab2d6", "#6a3d9a"};
        case WordFamily::Send:
        case WordFamily::SendOff: return {"#33a02c", "#33a02c"};
        default: return {"#f4f4f4", "#444444"};
    }
}

std::string num(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string text_at(double x, double y, std::string_view attributes, std::string_view content) {
    return "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" " + std::string{attributes} + ">" + escape(content) +
           "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, std::string_view attributes) {
    return "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" + num(y2) + "\" " +
           std::string{attributes} + "/>\n";
}

std::string rect(double x, double y, double width, double height, std::string_view attributes) {
    return "<rect x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"" + num(width) + "\" height=\"" +
           num(height) + "\" " + std::string{attributes} + "/>\n";
}

// Rows of labels under a lane's boxes; a label goes to the first row where it
// does not overlap its left neighbour, or is pushed right in the emptiest row.
class LabelRows {
public:
    struct Place {
        int row;
        double left;
    };

    Place place(double left, double width) {
        constexpr double gap = 6;
        for (int row = 0; row < rows; ++row) {
            if (left >= right_[static_cast<std::size_t>(row)] + gap) {
                right_[static_cast<std::size_t>(row)] = left + width;
                return {row, left};
            }
        }
        std::size_t emptiest = 0;
        for (std::size_t row = 1; row < right_.size(); ++row) {
            emptiest = right_[row] < right_[emptiest] ? row : emptiest;
        }
        const double shifted = right_[emptiest] + gap;
        right_[emptiest] = shifted + width;
        return {static_cast<int>(emptiest), shifted};
    }

    static constexpr int rows = 3;

private:
    std::array<double, rows> right_{-1e9, -1e9, -1e9};
};

struct Picture {
    const std::vector<Lane>& lanes;
    const BrokenAxis& axis;
    std::optional<std::uint64_t> send_start;
    const std::optional<TimingReport>& timing;

    [[nodiscard]] double lane_top(std::size_t lane) const { return lanes_top + static_cast<double>(lane) * lane_height; }
    [[nodiscard]] double bottom() const { return lane_top(lanes.size()); }
};

std::string header(const PlanView& view, const Picture& picture, double height) {
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(canvas_width) + "\" height=\"" +
                      num(height) + "\" viewBox=\"0 0 " + num(canvas_width) + " " + num(height) +
                      "\" font-family=\"DejaVu Sans Mono, Menlo, Consolas, monospace\">\n";
    out += rect(0, 0, canvas_width, height, "fill=\"#ffffff\"");
    out += text_at(16, 24, "font-size=\"16\" font-weight=\"bold\"", title(view.request));
    out += text_at(16, 43, "font-size=\"12\" fill=\"#444444\"",
                   picture.axis.has_breaks()
                       ? "x: cycles from each row's opening word. Stretches longer than " +
                             std::to_string(BrokenAxis::stretch) +
                             " cycles are drawn shortened at the zigzag breaks; tick labels give true cycles."
                       : std::string{"x: cycles from each row's opening word, one linear scale."});
    std::string timing = picture.send_start
                             ? "first send starts at cycle " + std::to_string(*picture.send_start)
                             : std::string{"the sender row has no send word"};
    if (picture.timing) {
        timing += picture.timing->ok() ? "; every receiver's first XPIC field = send start + mux time: ok"
                                       : "; timing check FAILED: " + picture.timing->problem;
    }
    out += text_at(16, 60, picture.timing && !picture.timing->ok() ? "font-size=\"12\" fill=\"#d7191c\""
                                                                  : "font-size=\"12\" fill=\"#444444\"",
                   timing);
    return out;
}

std::string legend() {
    std::string out;
    double x = 16;
    const double y = 74;
    const auto swatch = [&](WordFamily family, std::string_view name) {
        const Colours c = colours(family);
        out += rect(x, y, 22, 12, std::string{"fill=\""} + c.fill + "\" stroke=\"" + c.stroke + "\"");
        out += text_at(x + 28, y + 10, "font-size=\"11\"", name);
        x += 40 + label_char_width * static_cast<double>(name.size());
    };
    swatch(WordFamily::PlainDelay, "delay");
    swatch(WordFamily::PicDelay, "pic-delay");
    swatch(WordFamily::XpicDelay, "xpic-delay");
    swatch(WordFamily::SendControlPair, "sendpicp");
    out += rect(x, y - 2, 4, 16, "fill=\"#33a02c\"");
    out += text_at(x + 10, y + 10, "font-size=\"11\"", "send word");
    x += 84;
    out += line(x, y - 2, x, y + 14, "stroke=\"#d7191c\" stroke-width=\"2\" stroke-dasharray=\"4 3\"");
    out += text_at(x + 6, y + 10, "font-size=\"11\"", "first send starts");
    x += 134;
    out += "<path d=\"M" + num(x) + " " + num(y) + " l10 0 l-5 9 z\" fill=\"#222222\"/>\n";
    out += text_at(x + 16, y + 10, "font-size=\"11\"", "receive control takes effect");
    x += 214;
    out += "<path d=\"M" + num(x + 5) + " " + num(y) + " l5 6 l-5 6 l-5 -6 z\" fill=\"#d7191c\"/>\n";
    out += text_at(x + 16, y + 10, "font-size=\"11\"", "data reaches the mux");
    return out;
}

std::string axis_and_grid(const Picture& picture) {
    std::string out = line(plot_left, axis_y, plot_left + plot_width, axis_y, "stroke=\"#222222\"");
    std::array<double, 2> right{-1e9, -1e9};
    for (const std::uint64_t cycle : picture.axis.points()) {
        const double x = picture.axis.x(cycle);
        out += line(x, axis_y, x, picture.bottom(), "stroke=\"#e4e4e4\"");
        out += line(x, axis_y - 4, x, axis_y, "stroke=\"#222222\"");
        const std::string label = std::to_string(cycle);
        const double width = tick_char_width * static_cast<double>(label.size());
        for (std::size_t row = 0; row < right.size(); ++row) {
            if (x - width / 2 >= right[row] + 4) {
                right[row] = x + width / 2;
                out += text_at(x, axis_y - 7 - 12 * static_cast<double>(row),
                               "font-size=\"10\" text-anchor=\"middle\"", label);
                break;
            }
        }
    }
    return out;
}

std::string lane_frame(const Picture& picture, std::size_t index) {
    const Lane& lane = picture.lanes[index];
    const double top = picture.lane_top(index);
    std::string out = rect(0, top, canvas_width, lane_height, index % 2 == 0 ? "fill=\"#fafafa\"" : "fill=\"#f2f2f2\"");
    out += text_at(16, top + box_top + 16, "font-size=\"13\" font-weight=\"bold\"",
                   lane.role + " " + std::to_string(lane.tile));
    out += text_at(16, top + box_top + 32, "font-size=\"11\" fill=\"#555555\"",
                   lane.physical ? "physical " + std::to_string(*lane.physical) : std::string{"not in topology"});
    return out;
}

std::string tooltip(const TimelineWord& entry) {
    return "<title>word " + std::to_string(entry.index) + ": " + escape(vorl_exchange::describe(entry.decoded)) +
           ", cycles " + std::to_string(entry.start) + ".." + std::to_string(entry.end) + "</title>";
}

// What a lane draws, in three layers: the markers and breaks go between the boxes
// and the bars of zero-length words, and the labels over everything.
struct Layers {
    std::string boxes;
    std::string bars;
    std::string labels;
};

// Labels carry a white halo so that they stay legible where a marker crosses them.
constexpr const char* label_style = "font-size=\"11\" paint-order=\"stroke\" stroke=\"#ffffff\" stroke-width=\"3\"";
// Inside a box the halo takes the box's colour.
std::string centred_label_style(const Colours& colours) {
    return std::string{"font-size=\"11\" text-anchor=\"middle\" paint-order=\"stroke\" stroke=\""} + colours.fill +
           "\" stroke-width=\"3\"";
}

void draw_lane(const Picture& picture, std::size_t index, Layers& layers) {
    const double top = picture.lane_top(index) + box_top;
    LabelRows rows;
    for (const TimelineWord& entry : picture.lanes[index].timeline.words) {
        if (!entry.is_instruction()) {
            continue;
        }
        const WordFamily family = entry.decoded.family;
        const Colours c = colours(family);
        const double x0 = picture.axis.x(entry.start);
        const double x1 = picture.axis.x(entry.end);
        std::string label{vorl_exchange::mnemonic(family)};
        if (family == WordFamily::Opening || family == WordFamily::Closing) {
            layers.bars += rect(x0 - 1, top - 2, 2, box_height + 4, "fill=\"#222222\"");
            continue;
        }
        if (entry.takes_time()) {
            layers.boxes += "<g>" + tooltip(entry) +
                      rect(x0, top, x1 - x0, box_height,
                           std::string{"fill=\""} + c.fill + "\" stroke=\"" + c.stroke + "\"") +
                      "</g>\n";
            const std::string with_cycles = label + " " + std::to_string(entry.end - entry.start);
            if (label_char_width * static_cast<double>(with_cycles.size()) + 8 <= x1 - x0) {
                layers.labels += text_at((x0 + x1) / 2, top + 16, centred_label_style(c), with_cycles);
                continue;
            }
            if (label_char_width * static_cast<double>(label.size()) + 6 <= x1 - x0) {
                layers.labels += text_at((x0 + x1) / 2, top + 16, centred_label_style(c), label);
                continue;
            }
        } else {
            layers.bars += "<g>" + tooltip(entry) +
                           rect(x0 - 2, top - 4, 4, box_height + 8, std::string{"fill=\""} + c.fill + "\"") + "</g>\n";
            if (family == WordFamily::Send || family == WordFamily::SendOff) {
                label += " " + std::to_string(entry.decoded.count_minus_one + 1u);
            }
        }
        // Too narrow for its label: put it underneath, joined by a leader line.
        const double width = label_char_width * static_cast<double>(label.size());
        const double centre = (x0 + x1) / 2;
        const auto place = rows.place(std::max(centre - width / 2, 4.0), width);
        const double y = top + box_height + label_row_height * (place.row + 1);
        layers.labels += line(centre, top + box_height, place.left + width / 2, y - 9, "stroke=\"#888888\"");
        layers.labels += text_at(place.left, y, label_style, label);
    }
}

// Where a long stretch is shortened, a white zigzag cut runs through all lanes.
std::string breaks(const Picture& picture) {
    std::string out;
    for (const auto& segment : picture.axis.segments()) {
        if (!segment.broken) {
            continue;
        }
        const double x = (segment.x0 + segment.x1) / 2;
        const double top = axis_y - 6;
        const double height = picture.bottom() - top;
        out += rect(x - 4, top, 8, height, "fill=\"#ffffff\"");
        out += line(x - 8, top + 8, x, top - 4, "stroke=\"#555555\" stroke-width=\"1.5\"");
        out += line(x, top + 8, x + 8, top - 4, "stroke=\"#555555\" stroke-width=\"1.5\"");
        out += line(x - 4, top, x - 4, top + height, "stroke=\"#bbbbbb\" stroke-dasharray=\"3 3\"");
        out += line(x + 4, top, x + 4, top + height, "stroke=\"#bbbbbb\" stroke-dasharray=\"3 3\"");
    }
    return out;
}

std::string markers(const Picture& picture) {
    std::string out;
    for (std::size_t index = 1; index < picture.lanes.size(); ++index) {
        const double top = picture.lane_top(index) + box_top;
        for (const TimelineWord& entry : picture.lanes[index].timeline.words) {
            if (entry.is_instruction() && is_receive_control(entry.decoded)) {
                const double x = picture.axis.x(entry.end);
                out += "<path d=\"M" + num(x - 5) + " " + num(top - 11) + " l10 0 l-5 9 z\" fill=\"#222222\">" +
                       "<title>" + escape(vorl_exchange::describe(entry.decoded)) + " takes effect at cycle " +
                       std::to_string(entry.end) + "</title></path>\n";
            }
        }
    }
    if (picture.timing && picture.send_start) {
        for (const ReceiverTiming& receiver : picture.timing->receivers) {
            if (receiver.expected < 0) {
                continue;
            }
            const double x = picture.axis.x(static_cast<std::uint64_t>(receiver.expected));
            const double top = picture.lane_top(receiver.position + 1) + box_top;
            out += "<path d=\"M" + num(x) + " " + num(top - 6) + " l5 6 l-5 6 l-5 -6 z\" fill=\"#d7191c\">" +
                   "<title>data reaches the mux at cycle " + std::to_string(receiver.expected) + " = send start " +
                   std::to_string(*picture.send_start) + " + mux time " + std::to_string(receiver.mux_time) +
                   "</title></path>\n";
        }
    }
    if (picture.send_start) {
        const double x = picture.axis.x(*picture.send_start);
        out += line(x, axis_y, x, picture.bottom(), "stroke=\"#d7191c\" stroke-width=\"2\" stroke-dasharray=\"6 4\"");
        out += text_at(x + 5, picture.lane_top(0) + 13, "font-size=\"11\" fill=\"#d7191c\" paint-order=\"stroke\" stroke=\"#ffffff\" stroke-width=\"3\"",
                       "first send @" + std::to_string(*picture.send_start));
    }
    return out;
}

std::vector<std::uint64_t> points_of_interest(const std::vector<Lane>& lanes, std::optional<std::uint64_t> send_start,
                                              const std::optional<TimingReport>& timing) {
    std::vector<std::uint64_t> points;
    for (const Lane& lane : lanes) {
        for (const TimelineWord& entry : lane.timeline.words) {
            if (entry.is_instruction()) {
                points.push_back(entry.start);
                points.push_back(entry.end);
            }
        }
    }
    if (send_start) {
        points.push_back(*send_start);
    }
    if (timing) {
        for (const ReceiverTiming& receiver : timing->receivers) {
            if (receiver.expected >= 0) {
                points.push_back(static_cast<std::uint64_t>(receiver.expected));
            }
        }
    }
    return points;
}

}  // namespace

std::string render_svg(const vorl_exchange::Topology& topology, const PlanView& view) {
    const std::vector<Lane> all_lanes = lanes(topology, view);
    const auto send_start = all_lanes.front().timeline.first_send_start();
    const auto timing = plan_timing(topology, view);
    const BrokenAxis axis{points_of_interest(all_lanes, send_start, timing), plot_left, plot_width};
    const Picture picture{all_lanes, axis, send_start, timing};
    const double height = picture.bottom() + 16;

    std::string out = header(view, picture, height) + legend();
    for (std::size_t index = 0; index < all_lanes.size(); ++index) {
        out += lane_frame(picture, index);
    }
    out += axis_and_grid(picture);
    Layers layers;
    for (std::size_t index = 0; index < all_lanes.size(); ++index) {
        draw_lane(picture, index, layers);
    }
    out += layers.boxes + breaks(picture) + markers(picture) + layers.bars + layers.labels + "</svg>\n";
    return out;
}

}  // namespace vorl_plan
