// Descriptors and streams owned, and checked writing and closing.
#include "fd.h"
#include "lines.h"
#include "sys.h"

#include <cerrno>
#include <cstdarg>
#include <vector>

namespace os {

fd &fd::operator=(fd &&other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            sys::close(fd_);
        fd_ = other.release();
        path_ = std::move(other.path_);
    }
    return *this;
}

fd::~fd() {
    if (fd_ >= 0)
        sys::close(fd_);
}

result<void> fd::close() {
    if (fd_ < 0)
        return {};
    // Never tried again on EINTR: the descriptor is gone whatever it says.
    if (sys::close(release()) != 0)
        return error_now("close", path_);
    return {};
}

out_stream::out_stream(out_stream &&other) noexcept
    : fp_(other.fp_), path_(std::move(other.path_)), error_(other.error_) {
    other.fp_ = nullptr;
    other.error_ = 0;
}

out_stream &out_stream::operator=(out_stream &&other) noexcept {
    if (this != &other) {
        if (fp_ != nullptr)
            sys::fclose(release());
        fp_ = other.fp_;
        path_ = std::move(other.path_);
        error_ = other.error_;
        other.fp_ = nullptr;
        other.error_ = 0;
    }
    return *this;
}

out_stream::~out_stream() {
    if (fp_ != nullptr)
        sys::fclose(release());
}

FILE *out_stream::release() {
    FILE *fp = fp_;
    fp_ = nullptr;
    error_ = 0;
    return fp;
}

void out_stream::note_failure() {
    if (error_ == 0)
        error_ = errno != 0 ? errno : EIO;
}

bool out_stream::put(std::string_view text) {
    if (sys::fwrite(text.data(), 1, text.size(), fp_) == text.size())
        return true;
    note_failure();
    return false;
}

bool out_stream::print(const char *format, ...) {
    va_list args;
    va_start(args, format);
    const int n = sys::vfprintf(fp_, format, args);
    va_end(args);
    if (n >= 0)
        return true;
    note_failure();
    return false;
}

result<void> out_stream::close(bool sync) {
    if (fp_ == nullptr)
        return {};
    FILE *fp = fp_;
    fp_ = nullptr;
    sys_error failure{error_, "write", path_};
    error_ = 0;
    const auto fail = [&failure](const char *op) {
        if (failure.err == 0)
            failure = error_now(op, failure.path);
    };
    errno = 0;
    if (sys::fflush(fp) != 0)
        fail("flush");
    if (sync && failure.err == 0 && sys::fsync(sys::fileno(fp)) != 0)
        fail("fsync");
    if (sys::ferror(fp) && failure.err == 0)
        failure.err = EIO;
    errno = 0;
    if (sys::fclose(fp) != 0)
        fail("close");
    if (failure.err == 0)
        return {};
    return failure;
}

bool out_stream::flush() {
    if (sys::fflush(fp_) == 0)
        return true;
    note_failure();
    return false;
}

void out_stream::rewind() {
    sys::rewind(fp_);
}

in_stream &in_stream::operator=(in_stream &&other) noexcept {
    if (this != &other) {
        if (fp_ != nullptr)
            sys::fclose(fp_);
        fp_ = other.fp_;
        path_ = std::move(other.path_);
        other.fp_ = nullptr;
    }
    return *this;
}

in_stream::~in_stream() {
    if (fp_ != nullptr)
        sys::fclose(fp_);
}

int in_stream::descriptor() const {
    return sys::fileno(fp_);
}

result<void> in_stream::close() {
    if (fp_ == nullptr)
        return {};
    FILE *fp = fp_;
    fp_ = nullptr;
    errno = 0;
    if (sys::fclose(fp) != 0)
        return error_now("close", path_);
    return {};
}

result<void> copy_stream(FILE *from, out_stream &to) {
    std::vector<char> buffer(io_block_size);
    for (;;) {
        const size_t n = sys::fread(buffer.data(), 1, buffer.size(), from);
        if (n > 0 && !to.put(std::string_view(buffer.data(), n)))
            return {}; // the write error is the output's, for its close
        if (n < buffer.size()) {
            if (sys::ferror(from))
                return error_now("read");
            return {};
        }
    }
}

result<std::string> read_rest(const os::fd &file) {
    std::string text;
    std::vector<char> block(io_block_size);
    for (;;) {
        const ssize_t n = sys::read(file.get(), block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return error_now("read", file.path());
        if (n == 0)
            return text;
        text.append(block.data(), static_cast<size_t>(n));
    }
}

} // namespace os
