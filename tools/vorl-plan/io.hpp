// Standard streams over file descriptors that remember why a read or write
// failed, so that the tool can report a full disk, a closed output or an
// unreadable file instead of ending as if all went well.
#pragma once

#include <array>
#include <stdexcept>
#include <streambuf>
#include <string>

namespace vorl_plan {

// Writes to a file descriptor; after the first failed write every later one is
// dropped and `error()` holds that failure's errno.
class FdWriter : public std::streambuf {
public:
    explicit FdWriter(int fd) noexcept : fd_{fd} { setp(buffer_.data(), buffer_.data() + buffer_.size()); }
    FdWriter(const FdWriter&) = delete;
    FdWriter& operator=(const FdWriter&) = delete;
    ~FdWriter() override = default;

    // 0 while every write has succeeded.
    [[nodiscard]] int error() const noexcept { return error_; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;
    // A block larger than the buffer goes to the descriptor as it is, not copied first.
    std::streamsize xsputn(const char* text, std::streamsize size) override;

private:
    bool drain() noexcept;
    bool write_all(const char* text, std::size_t size) noexcept;

    int fd_;
    int error_ = 0;
    std::array<char, 1 << 16> buffer_{};
};

// Reads from a file descriptor; a failed read ends the input and leaves its
// errno in `error()`, so that it is not mistaken for the end of the input.
class FdReader : public std::streambuf {
public:
    explicit FdReader(int fd) noexcept : fd_{fd} {}
    FdReader(const FdReader&) = delete;
    FdReader& operator=(const FdReader&) = delete;
    ~FdReader() override = default;

    [[nodiscard]] int error() const noexcept { return error_; }

protected:
    int_type underflow() override;
    std::streamsize showmanyc() override;

private:
    int fd_;
    int error_ = 0;
    bool ended_ = false;
    std::array<char, 1 << 16> buffer_{};
};

// A file opened for reading by name, "-" being standard input. Opening fails
// with the system's reason: "cannot read FILE: No such file or directory".
class InputFile {
public:
    explicit InputFile(const std::string& name);
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    [[nodiscard]] FdReader& reader() noexcept { return reader_; }
    // "standard input" or the file's name, for messages.
    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    // Throws InputError if a read failed.
    void check_read() const;

private:
    int fd_;
    bool owned_;
    std::string name_;
    FdReader reader_;
};

// A file or standard input that cannot be read; the text is a one-line reason.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads all of `file`; throws InputError if a read fails.
[[nodiscard]] std::string read_all(InputFile& file);

}  // namespace vorl_plan
