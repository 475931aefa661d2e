#include "io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace vorl_plan {

bool FdWriter::write_all(const char* text, std::size_t size) noexcept {
    const char* const end = text + size;
    while (error_ == 0 && text < end) {
        const ssize_t written = ::write(fd_, text, static_cast<std::size_t>(end - text));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            error_ = written < 0 ? errno : EIO;
            break;
        }
        text += written;
    }
    return error_ == 0;
}

bool FdWriter::drain() noexcept {
    write_all(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return error_ == 0;
}

std::streamsize FdWriter::xsputn(const char* text, std::streamsize size) {
    if (static_cast<std::size_t>(size) < buffer_.size()) {
        return std::streambuf::xsputn(text, size);
    }
    return drain() && write_all(text, static_cast<std::size_t>(size)) ? size : 0;
}

FdWriter::int_type FdWriter::overflow(int_type c) {
    if (!drain()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int FdWriter::sync() { return drain() ? 0 : -1; }

FdReader::int_type FdReader::underflow() {
    while (!ended_) {
        const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            error_ = got < 0 ? errno : 0;
            ended_ = true;
            break;
        }
        setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
        return traits_type::to_int_type(buffer_[0]);
    }
    return traits_type::eof();
}

// Nothing beyond the buffer is known to be ready, so a line-by-line reader
// flushes its answers before it waits for more input.
std::streamsize FdReader::showmanyc() { return ended_ ? -1 : 0; }

namespace {

std::string reason(int error) { return std::strerror(error); }

int open_for_reading(const std::string& name) {
    if (name == "-") {
        return STDIN_FILENO;
    }
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw InputError{"cannot read " + name + ": " + reason(errno)};
    }
    struct stat status{};
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(fd);
        throw InputError{"cannot read " + name + ": " + reason(EISDIR)};
    }
    return fd;
}

}  // namespace

InputFile::InputFile(const std::string& name)
    : fd_{open_for_reading(name)}, owned_{name != "-"}, name_{name == "-" ? "standard input" : name}, reader_{fd_} {}

InputFile::~InputFile() {
    if (owned_) {
        ::close(fd_);
    }
}

void InputFile::check_read() const {
    if (reader_.error() != 0) {
        throw InputError{"cannot read " + name_ + ": " + reason(reader_.error())};
    }
}

std::string read_all(InputFile& file) {
    std::string text{std::istreambuf_iterator<char>{&file.reader()}, std::istreambuf_iterator<char>{}};
    file.check_read();
    return text;
}

}  // namespace vorl_plan
