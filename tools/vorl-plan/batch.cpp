#include "batch.hpp"

#include <cstring>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>

#include "json_writer.hpp"
#include "request_reader.hpp"
#include "visible_text.hpp"

namespace vorl_plan {

namespace {

// Plans `request` and appends the answer.
void answer(const vorl_exchange::Topology& topology, const Request& request, std::string& out) {
    switch (request.operation) {
        case Operation::PointToPoint:
            write_answer(out, topology.point_to_point(request.sender, request.receiver, request.count));
            return;
        case Operation::Multicast:
            write_answer(out, topology.multicast(request.sender, request.receivers, request.count, request.offset));
            return;
        case Operation::PairedMulticast:
            write_answer(out, topology.paired_multicast(request.sender, request.receivers, request.count));
            return;
        case Operation::MulticastOffsetLimit:
            write_answer(out, topology.multicast_offset_limit(request.sender, request.receivers, request.count));
            return;
    }
}

// Answers one line, appending the answer; returns why it was refused, if it was.
std::optional<std::string> answer_line(const vorl_exchange::Topology& topology, RequestReader& reader,
                                       std::string_view line, std::string& out) {
    auto request = reader.read(line);
    if (!request) {
        write_bad_request(out, request.error());
        return std::move(request.error());
    }
    answer(topology, *request, out);
    return std::nullopt;
}

bool is_blank(std::string_view line) { return line.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos; }

// The lines of a stream, read in blocks of whatever the stream has ready, so that
// a line is a view into the block rather than a copy.
class LineBlocks {
public:
    explicit LineBlocks(std::streambuf& source)
        : source_{source}, block_{std::make_unique_for_overwrite<char[]>(initial_block)} {}

    // The next whole line in the block, without its newline.
    std::optional<std::string_view> next() {
        const char* const start = block_.get() + begin_;
        const auto* newline = static_cast<const char*>(std::memchr(block_.get() + scanned_, '\n', end_ - scanned_));
        if (newline == nullptr) {
            scanned_ = end_;  // a long line arriving in pieces is searched once
            return std::nullopt;
        }
        const auto length = static_cast<std::size_t>(newline - start);
        begin_ += length + 1;
        scanned_ = begin_;
        return std::string_view{start, length};
    }

    // Whether reading more might wait for the source.
    [[nodiscard]] bool would_wait() const { return source_.in_avail() <= 0; }

    // Reads what the source has ready behind the unfinished line; false at the end of input.
    bool fill() {
        if (begin_ > 0) {  // the unfinished line moves to the front once, not at every read
            std::memmove(block_.get(), block_.get() + begin_, end_ - begin_);
            end_ -= begin_;
            scanned_ -= begin_;
            begin_ = 0;
        }
        if (size_ - end_ < size_ / 2) {  // a line longer than half the block
            auto larger = std::make_unique_for_overwrite<char[]>(2 * size_);
            std::memcpy(larger.get(), block_.get(), end_);
            block_ = std::move(larger);
            size_ *= 2;
        }
        if (source_.sgetc() == std::char_traits<char>::eof()) {
            return false;
        }
        const std::streamsize ready = std::max<std::streamsize>(source_.in_avail(), 1);
        const auto room = static_cast<std::streamsize>(size_ - end_);
        end_ += static_cast<std::size_t>(source_.sgetn(block_.get() + end_, std::min(ready, room)));
        return true;
    }

    // What is left after the last newline: the last line, when the input does not end with one.
    [[nodiscard]] std::string_view rest() const { return {block_.get() + begin_, end_ - begin_}; }

private:
    // As large as a read of FdReader; a longer line doubles it.
    static constexpr std::size_t initial_block = 1 << 16;

    std::streambuf& source_;
    std::unique_ptr<char[]> block_;
    std::size_t size_ = initial_block;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::size_t scanned_ = 0;  // no newline in [begin_, scanned_)
};

}  // namespace

std::string answer_request(const vorl_exchange::Topology& topology, std::string_view line) {
    RequestReader reader;
    std::string out;
    answer_line(topology, reader, line, out);
    return out;
}

int run_batch(const vorl_exchange::Topology& topology, std::istream& in, std::ostream& out) {
    std::ostream discard{nullptr};
    return run_batch(topology, in, out, {"", discard});
}

// Answers and notes collect in buffers written in blocks: when a buffer is
// large, and before reading input that may not be there yet, so that a program
// talking to us line by line sees each answer.
int run_batch(const vorl_exchange::Topology& topology, std::istream& in, std::ostream& out, LineNotes notes) {
    constexpr std::size_t flush_at = 1 << 20;
    RequestReader reader;
    LineBlocks lines{*in.rdbuf()};
    std::string answers;
    std::string refusals;
    std::size_t number = 0;
    const auto flush = [&] {
        if (answers.empty()) {
            return static_cast<bool>(out);
        }
        if (!refusals.empty()) {
            notes.out.write(refusals.data(), static_cast<std::streamsize>(refusals.size())).flush();
        }
        refusals.clear();
        out.write(answers.data(), static_cast<std::streamsize>(answers.size())).flush();
        answers.clear();
        return static_cast<bool>(out);
    };
    const auto take = [&](std::string_view line) {
        ++number;
        if (is_blank(line)) {
            return;
        }
        const auto refusal = answer_line(topology, reader, line, answers);
        answers += '\n';
        if (refusal) {
            refusals.append("vorl-plan: ").append(visible(notes.source)).append(":");
            refusals.append(std::to_string(number)).append(": ").append(visible(*refusal)).append("\n");
        }
    };
    for (;;) {
        while (const auto line = lines.next()) {
            take(*line);
            if (answers.size() >= flush_at && !flush()) {
                return 0;
            }
        }
        if (lines.would_wait() && !flush()) {
            return 0;
        }
        if (!lines.fill()) {
            break;
        }
    }
    if (!lines.rest().empty()) {
        take(lines.rest());
    }
    flush();
    return 0;
}

}  // namespace vorl_plan
