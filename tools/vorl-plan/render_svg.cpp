#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <span>

#include "broken_axis.hpp"
#include "render.hpp"
#include "vorl_exchange/route_timing.hpp"

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
// Receiver lanes drawn one by one; the rest share one summary lane, so that a
// multicast to a thousand tiles stays a picture one can read.
constexpr std::size_t most_receiver_lanes = 24;
constexpr double summary_height = 56;
constexpr double bottom_axis_room = 40;
// The XPIC control value that returns a receiver's mux to no source.
constexpr std::uint32_t neutral_source = 1600;

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
    return "<rect x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"" + num(width) + "\" height=\"" + num(height) +
           "\" " + std::string{attributes} + "/>\n";
}

// A rectangle of the picture, in pixels.
struct Area {
    double left;
    double top;
    double right;
    double bottom;
};

// The area a label of 11px text takes, its baseline at `y`.
Area label_area(double left, double y, double width) { return {left, y - 10, left + width, y + 3}; }

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

// What a receive control does once it takes effect, as a paired or ordinary
// receiver row uses it; empty for words that are not receive controls.
std::string_view control_meaning(const vorl_exchange::DecodedWord& decoded) {
    switch (decoded.family) {
        case WordFamily::XpicDelay: return decoded.control == neutral_source ? "end" : "source select";
        case WordFamily::PicDelay:
            if (decoded.flag == 1) {
                return decoded.control != 0 ? "format" : "format end";
            }
            return "pointer";
        case WordFamily::SendControlPair: return "pointer + source select";
        default: return "";
    }
}

// Where the route timing sets each receiver's mux: the send start the sender row
// holds + the route's mux time. Only for the kinds whose receivers switch one by
// one (a paired multicast's switch by pairs); with the check's verdict on the rows.
struct MuxSetting {
    std::size_t position = 0;  // in the receiver list
    std::int32_t mux_time = 0;
    std::int64_t expected = 0;  // send start + mux time
};

struct MuxTiming {
    std::vector<MuxSetting> receivers;
    std::string problem;  // the check's first mismatch; empty when the plan is right

    [[nodiscard]] bool ok() const noexcept { return problem.empty(); }
};

std::optional<MuxTiming> mux_timing(const vorl_exchange::Topology& topology, const PlanView& view,
                                    std::optional<std::uint64_t> send_start) {
    if (view.request.kind == ExchangeKind::PairedMulticast) {
        return std::nullopt;
    }
    MuxTiming timing{{}, check_problem(view, check_plan(topology, view))};
    const auto sender = topology.physical(view.request.sender);
    for (std::size_t position = 0; position < view.request.receivers.size() && sender && send_start; ++position) {
        const auto receiver = topology.physical(view.request.receivers[position]);
        if (!receiver) {
            break;
        }
        const std::int32_t mux_time = vorl_exchange::time_to_mux(*sender, *receiver);
        timing.receivers.push_back({position, mux_time, static_cast<std::int64_t>(*send_start) + mux_time});
    }
    return timing;
}

// The receivers beyond `most_receiver_lanes`, drawn as one lane with their count.
struct Summary {
    std::size_t receivers = 0;
    std::optional<std::int64_t> first_mux_set;  // over those receivers, when the timing is known
    std::optional<std::int64_t> last_mux_set;
};

struct Picture {
    std::span<const Lane> lanes;  // the lanes drawn one by one
    Summary summary;
    const BrokenAxis& axis;
    std::optional<std::uint64_t> send_start;
    const std::optional<MuxTiming>& timing;

    // NOLINTNEXTLINE(readability-convert-member-functions-to-static): geometry is asked of the picture
    [[nodiscard]] double lane_top(std::size_t lane) const {
        return lanes_top + static_cast<double>(lane) * lane_height;
    }
    [[nodiscard]] double lanes_bottom() const {
        return lane_top(lanes.size()) + (summary.receivers > 0 ? summary_height : 0);
    }
    [[nodiscard]] bool tall() const { return lanes.size() + (summary.receivers > 0 ? 1 : 0) > 6; }
    [[nodiscard]] double bottom() const { return lanes_bottom() + (tall() ? bottom_axis_room : 0); }
};

// The topology at the right end of the timing line. A file name may hold any
// bytes; those that XML text cannot carry as they are become '?', and a long
// name is cut from the front, its end naming the file best, so that the line
// stays inside the picture.
std::string topology_label(const NamedTopology& named) {
    constexpr std::size_t longest = 60;
    const std::string_view cut_mark = "topology: ...";
    std::string label = "topology: " + describe(named);
    for (char& c : label) {
        const auto byte = static_cast<unsigned char>(c);
        c = byte < 0x20 || byte >= 0x7f ? '?' : c;
    }
    if (label.size() > longest) {
        label = std::string{cut_mark} + label.substr(label.size() - (longest - cut_mark.size()));
    }
    return label;
}

std::string header(const NamedTopology& topology, const PlanView& view, const Picture& picture, double height) {
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
    std::string timing = picture.send_start ? "first send starts at cycle " + std::to_string(*picture.send_start)
                                            : std::string{"the sender row has no send word"};
    if (picture.timing) {
        timing += picture.timing->ok() ? "; every receiver's first XPIC field = send start + mux time: ok"
                                       : "; timing check FAILED: " + picture.timing->problem;
    }
    out += text_at(16, 60,
                   picture.timing && !picture.timing->ok() ? "font-size=\"12\" fill=\"#d7191c\""
                                                           : "font-size=\"12\" fill=\"#444444\"",
                   timing);
    out += text_at(canvas_width - 16, 60, "font-size=\"12\" fill=\"#444444\" text-anchor=\"end\"",
                   topology_label(topology));
    return out;
}

// The marks a picture uses, so that its legend lists those and no others.
struct Marks {
    std::vector<WordFamily> families;  // boxes, in legend order
    bool send_word = false;
    bool send_start = false;
    bool receive_control = false;
    bool mux_set = false;
};

Marks marks_used(const Picture& picture) {
    Marks marks;
    bool seen[5] = {};
    constexpr WordFamily boxed[] = {WordFamily::PlainDelay, WordFamily::PicDelay, WordFamily::XpicDelay,
                                    WordFamily::SendControlPair};
    for (const Lane& lane : picture.lanes) {
        for (const TimelineWord& entry : lane.timeline.words) {
            if (!entry.is_instruction()) {
                continue;
            }
            const WordFamily family = entry.decoded.family;
            for (std::size_t index = 0; index < std::size(boxed); ++index) {
                seen[index] = seen[index] || (family == boxed[index] && entry.takes_time());
            }
            marks.send_word = marks.send_word || family == WordFamily::Send || family == WordFamily::SendOff;
            marks.receive_control =
                marks.receive_control || (&lane != &picture.lanes.front() && is_receive_control(entry.decoded));
        }
    }
    for (std::size_t index = 0; index < std::size(boxed); ++index) {
        if (seen[index]) {
            marks.families.push_back(boxed[index]);
        }
    }
    marks.send_start = picture.send_start.has_value();
    marks.mux_set = picture.timing && picture.send_start && !picture.timing->receivers.empty();
    return marks;
}

std::string legend(const Marks& marks) {
    std::string out;
    double x = 16;
    const double y = 74;
    for (const WordFamily family : marks.families) {
        const std::string_view name = vorl_exchange::mnemonic(family);
        const Colours c = colours(family);
        out += rect(x, y, 22, 12, std::string{"fill=\""} + c.fill + "\" stroke=\"" + c.stroke + "\"");
        out += text_at(x + 28, y + 10, "font-size=\"11\"", name);
        x += 40 + label_char_width * static_cast<double>(name.size());
    }
    const auto entry = [&](const std::string& mark, std::string_view name) {
        out += mark;
        out += text_at(x + 16, y + 10, "font-size=\"11\"", name);
        x += 28 + label_char_width * static_cast<double>(name.size());
    };
    if (marks.send_word) {
        entry(rect(x, y - 2, 4, 16, "fill=\"#33a02c\""), "send word");
    }
    if (marks.send_start) {
        entry(line(x + 4, y - 2, x + 4, y + 14, "stroke=\"#d7191c\" stroke-width=\"2\" stroke-dasharray=\"4 3\""),
              "first send starts");
    }
    if (marks.receive_control) {
        entry("<path d=\"M" + num(x) + " " + num(y) + " l10 0 l-5 9 z\" fill=\"#222222\"/>\n",
              "receive control takes effect (> what it does)");
    }
    if (marks.mux_set) {
        entry("<path d=\"M" + num(x + 5) + " " + num(y) + " l5 6 l-5 6 l-5 -6 z\" fill=\"#d7191c\"/>\n",
              "XPIC field: mux set");
    }
    return out;
}

// A picture of many lanes repeats the axis under them.
double bottom_axis_y(const Picture& picture) { return picture.lanes_bottom() + 4; }

// The cycle axis at `y`, its labels above it (`direction` -1) or below it (+1).
std::string axis_at(const Picture& picture, double y, int direction) {
    std::string out = line(plot_left, y, plot_left + plot_width, y, "stroke=\"#222222\"");
    std::array<double, 2> right{-1e9, -1e9};
    for (const std::uint64_t cycle : picture.axis.points()) {
        const double x = picture.axis.x(cycle);
        out += line(x, y, x, y + 4 * direction, "stroke=\"#222222\"");
        const std::string label = std::to_string(cycle);
        const double width = tick_char_width * static_cast<double>(label.size());
        for (std::size_t row = 0; row < right.size(); ++row) {
            if (x - width / 2 >= right[row] + 4) {
                right[row] = x + width / 2;
                const double stacked = 12 * static_cast<double>(row);
                out += text_at(x, direction < 0 ? y - 7 - stacked : y + 15 + stacked,
                               "font-size=\"10\" text-anchor=\"middle\"", label);
                break;
            }
        }
    }
    return out;
}

std::string axis_and_grid(const Picture& picture) {
    std::string out;
    for (const std::uint64_t cycle : picture.axis.points()) {
        const double x = picture.axis.x(cycle);
        out += line(x, axis_y, x, picture.lanes_bottom(), "stroke=\"#e4e4e4\"");
    }
    out += axis_at(picture, axis_y, -1);
    if (picture.tall()) {
        out += axis_at(picture, bottom_axis_y(picture), 1);
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

std::string summary_lane(const Picture& picture) {
    const Summary& summary = picture.summary;
    const double top = picture.lane_top(picture.lanes.size());
    std::string out = rect(0, top, canvas_width, summary_height, "fill=\"#e8e8e8\"");
    out += text_at(16, top + 22, "font-size=\"13\" font-weight=\"bold\"",
                   std::to_string(summary.receivers) + " more receivers");
    std::string detail = "rows not drawn; --format text or json lists them all";
    if (summary.first_mux_set && summary.last_mux_set) {
        detail = "their muxes are set at cycles " + std::to_string(*summary.first_mux_set) + ".." +
                 std::to_string(*summary.last_mux_set) + "; " + detail;
        const double x0 = picture.axis.x(static_cast<std::uint64_t>(std::max<std::int64_t>(*summary.first_mux_set, 0)));
        const double x1 = picture.axis.x(static_cast<std::uint64_t>(std::max<std::int64_t>(*summary.last_mux_set, 0)));
        out += rect(x0 - 1, top + 30, x1 - x0 + 2, 8, "fill=\"#d7191c\" fill-opacity=\"0.5\"");
    }
    out += text_at(plot_left, top + 22,
                   "font-size=\"11\" fill=\"#444444\" paint-order=\"stroke\" stroke=\"#e8e8e8\" stroke-width=\"4\"",
                   detail);
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
    std::vector<Area> label_areas;  // where the labels' text is, for lines that must pass around it
};

// Labels carry a white halo so that they stay legible where a marker crosses them.
constexpr const char* label_style = "font-size=\"11\" paint-order=\"stroke\" stroke=\"#ffffff\" stroke-width=\"3\"";
// Inside a box the halo takes the box's colour.
std::string centred_label_style(const Colours& colours) {
    return std::string{"font-size=\"11\" text-anchor=\"middle\" paint-order=\"stroke\" stroke=\""} + colours.fill +
           "\" stroke-width=\"3\"";
}

// NOLINTNEXTLINE(readability-function-cognitive-complexity): the layout rules of one lane read best side by side
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
        // A receiver's controls say what they do where they take effect, at the word's end.
        const std::string_view meaning = index > 0 ? control_meaning(entry.decoded) : std::string_view{};
        const std::string effect = meaning.empty() ? std::string{} : " > " + std::string{meaning};
        if (family == WordFamily::Opening || family == WordFamily::Closing) {
            layers.bars += rect(x0 - 1, top - 2, 2, box_height + 4, "fill=\"#222222\"");
            continue;
        }
        if (entry.takes_time()) {
            layers.boxes +=
                "<g>" + tooltip(entry) +
                rect(x0, top, x1 - x0, box_height, std::string{"fill=\""} + c.fill + "\" stroke=\"" + c.stroke + "\"") +
                "</g>\n";
            const auto inside = [&](const std::string& text, double margin) {
                const double width = label_char_width * static_cast<double>(text.size());
                if (width + margin > x1 - x0) {
                    return false;
                }
                layers.labels += text_at((x0 + x1) / 2, top + 16, centred_label_style(c), text);
                layers.label_areas.push_back(label_area((x0 + x1 - width) / 2, top + 16, width));
                return true;
            };
            std::string with_cycles = label;
            with_cycles.append(" ").append(std::to_string(entry.end - entry.start)).append(effect);
            if (inside(with_cycles, 8)) {
                continue;
            }
            label += effect;
            if (inside(label, 6)) {
                continue;
            }
        } else {
            layers.bars += "<g>" + tooltip(entry) +
                           rect(x0 - 2, top - 4, 4, box_height + 8, std::string{"fill=\""} + c.fill + "\"") + "</g>\n";
            if (family == WordFamily::Send || family == WordFamily::SendOff) {
                label += " " + std::to_string(entry.decoded.count_minus_one + 1u);
            }
            label += effect;
        }
        // Too narrow for its label: put it underneath, joined by a leader line,
        // never reaching into the column of lane names.
        const double width = label_char_width * static_cast<double>(label.size());
        const double centre = (x0 + x1) / 2;
        const auto place = rows.place(std::max(centre - width / 2, plot_left), width);
        const double y = top + box_height + label_row_height * (place.row + 1);
        layers.labels += line(centre, top + box_height, place.left + width / 2, y - 9, "stroke=\"#888888\"");
        layers.labels += text_at(place.left, y, label_style, label);
        layers.label_areas.push_back(label_area(place.left, y, width));
    }
}

// Where a long stretch is shortened, a white zigzag cut runs through all lanes,
// marked on each axis drawn.
std::string breaks(const Picture& picture) {
    std::string out;
    const auto zigzag = [&](double x, double axis) {
        const double top = axis - 6;
        out += line(x - 8, top + 8, x, top - 4, "stroke=\"#555555\" stroke-width=\"1.5\"");
        out += line(x, top + 8, x + 8, top - 4, "stroke=\"#555555\" stroke-width=\"1.5\"");
    };
    for (const auto& segment : picture.axis.segments()) {
        if (!segment.broken) {
            continue;
        }
        const double x = (segment.x0 + segment.x1) / 2;
        const double top = axis_y - 6;
        const double bottom = picture.tall() ? bottom_axis_y(picture) + 6 : picture.lanes_bottom();
        out += rect(x - 4, top, 8, bottom - top, "fill=\"#ffffff\"");
        zigzag(x, axis_y);
        if (picture.tall()) {
            zigzag(x, bottom_axis_y(picture));
        }
        out += line(x - 4, top, x - 4, picture.lanes_bottom(), "stroke=\"#bbbbbb\" stroke-dasharray=\"3 3\"");
        out += line(x + 4, top, x + 4, picture.lanes_bottom(), "stroke=\"#bbbbbb\" stroke-dasharray=\"3 3\"");
    }
    return out;
}

// A vertical line from `top` to `bottom` at `x` that leaves a gap where it would
// cross the text of a label.
std::string line_around(double x, double top, double bottom, const std::vector<Area>& avoid,
                        std::string_view attributes) {
    constexpr double clearance = 2;
    std::vector<Area> crossed;
    for (const Area& area : avoid) {
        if (area.left - clearance <= x && x <= area.right + clearance && area.bottom > top && area.top < bottom) {
            crossed.push_back(area);
        }
    }
    std::ranges::sort(crossed, {}, &Area::top);
    std::string out;
    double from = top;
    for (const Area& area : crossed) {
        if (area.top - clearance > from) {
            out += line(x, from, x, area.top - clearance, attributes);
        }
        from = std::max(from, area.bottom + clearance);
    }
    if (from < bottom) {
        out += line(x, from, x, bottom, attributes);
    }
    return out;
}

std::string markers(const Picture& picture, const std::vector<Area>& label_areas) {
    std::string out;
    for (std::size_t index = 1; index < picture.lanes.size(); ++index) {
        const double top = picture.lane_top(index) + box_top;
        for (const TimelineWord& entry : picture.lanes[index].timeline.words) {
            if (entry.is_instruction() && is_receive_control(entry.decoded)) {
                const double x = picture.axis.x(entry.end);
                out += "<path d=\"M" + num(x - 5) + " " + num(top - 11) + " l10 0 l-5 9 z\" fill=\"#222222\">" +
                       "<title>" + escape(vorl_exchange::describe(entry.decoded)) + ": " +
                       std::string{control_meaning(entry.decoded)} + " takes effect at cycle " +
                       std::to_string(entry.end) + "</title></path>\n";
            }
        }
    }
    if (picture.timing && picture.send_start) {
        for (const MuxSetting& receiver : picture.timing->receivers) {
            if (receiver.expected < 0 || receiver.position + 1 >= picture.lanes.size()) {
                continue;
            }
            const double x = picture.axis.x(static_cast<std::uint64_t>(receiver.expected));
            const double top = picture.lane_top(receiver.position + 1) + box_top;
            out += "<path d=\"M" + num(x) + " " + num(top - 6) + " l5 6 l-5 6 l-5 -6 z\" fill=\"#d7191c\">" +
                   "<title>XPIC field " + std::to_string(receiver.expected) + ": the receiver's mux is set at cycle " +
                   std::to_string(receiver.expected) + " = send start " + std::to_string(*picture.send_start) +
                   " + mux time " + std::to_string(receiver.mux_time) + "</title></path>\n";
        }
    }
    if (picture.send_start) {
        const double x = picture.axis.x(*picture.send_start);
        // Down to the last lane drawn: the summary lane below has no rows.
        out += line_around(x, axis_y, picture.lane_top(picture.lanes.size()), label_areas,
                           "stroke=\"#d7191c\" stroke-width=\"2\" stroke-dasharray=\"6 4\"");
        out += text_at(x + 5, picture.lane_top(0) + 13,
                       "font-size=\"11\" fill=\"#d7191c\" paint-order=\"stroke\" stroke=\"#ffffff\" stroke-width=\"3\"",
                       "first send @" + std::to_string(*picture.send_start));
    }
    return out;
}

std::vector<std::uint64_t> points_of_interest(std::span<const Lane> lanes, std::optional<std::uint64_t> send_start,
                                              const std::optional<MuxTiming>& timing, const Summary& summary) {
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
    for (const auto& end : {summary.first_mux_set, summary.last_mux_set}) {
        if (end && *end >= 0) {
            points.push_back(static_cast<std::uint64_t>(*end));
        }
    }
    if (timing) {
        for (const MuxSetting& receiver : timing->receivers) {
            if (receiver.expected >= 0 && receiver.position + 1 < lanes.size()) {
                points.push_back(static_cast<std::uint64_t>(receiver.expected));
            }
        }
    }
    return points;
}

Summary summarise(std::size_t drawn_receivers, std::size_t all_receivers, const std::optional<MuxTiming>& timing) {
    Summary summary{all_receivers - drawn_receivers, std::nullopt, std::nullopt};
    if (summary.receivers == 0 || !timing) {
        return summary;
    }
    for (const MuxSetting& receiver : timing->receivers) {
        if (receiver.position >= drawn_receivers) {
            summary.first_mux_set = std::min(summary.first_mux_set.value_or(receiver.expected), receiver.expected);
            summary.last_mux_set = std::max(summary.last_mux_set.value_or(receiver.expected), receiver.expected);
        }
    }
    return summary;
}

}  // namespace

std::string render_svg(const NamedTopology& named, const PlanView& view) {
    const vorl_exchange::Topology& topology = named.topology;
    const std::vector<Lane> all_lanes = lanes(topology, view);
    const std::span<const Lane> drawn{all_lanes.data(), std::min(all_lanes.size(), 1 + most_receiver_lanes)};
    const auto send_start = all_lanes.front().timeline.first_send_start();
    const auto timing = mux_timing(topology, view, send_start);
    const Summary summary = summarise(drawn.size() - 1, all_lanes.size() - 1, timing);
    const BrokenAxis axis{points_of_interest(drawn, send_start, timing, summary), plot_left, plot_width};
    const Picture picture{drawn, summary, axis, send_start, timing};
    const double height = picture.bottom() + 16;

    std::string out = header(named, view, picture, height) + legend(marks_used(picture));
    for (std::size_t index = 0; index < drawn.size(); ++index) {
        out += lane_frame(picture, index);
    }
    out += axis_and_grid(picture);
    Layers layers;
    for (std::size_t index = 0; index < drawn.size(); ++index) {
        draw_lane(picture, index, layers);
    }
    out += layers.boxes + breaks(picture) + markers(picture, layers.label_areas) + layers.bars;
    if (summary.receivers > 0) {
        out += summary_lane(picture);  // over the grid, which does not run through it
    }
    out += layers.labels + "</svg>\n";
    return out;
}

}  // namespace vorl_plan
