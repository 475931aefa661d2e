// Bracket depth of JSON text read one character at a time, brackets inside
// strings ignored: lets the tool refuse a value nested a million deep before
// the parser builds it, and find where one value ends in a stream of them.
#pragma once

namespace vorl_plan {

class JsonDepth {
public:
    // The depth after `c`: one more after an opening bracket, one less after a
    // closing one, unchanged inside a string.
    int step(char c) noexcept {
        if (in_string_) {
            if (escaped_) {
                escaped_ = false;
            } else if (c == '\\') {
                escaped_ = true;
            } else if (c == '"') {
                in_string_ = false;
            }
        } else if (c == '"') {
            in_string_ = true;
        } else if (c == '[' || c == '{') {
            ++depth_;
        } else if (c == ']' || c == '}') {
            --depth_;
        }
        return depth_;
    }

    // Whether the last character read was inside a string.
    [[nodiscard]] bool in_string() const noexcept { return in_string_; }

private:
    int depth_ = 0;
    bool in_string_ = false;
    bool escaped_ = false;
};

}  // namespace vorl_plan
