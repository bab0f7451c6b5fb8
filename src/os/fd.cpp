// Descriptors and streams owned, and checked writing and closing.
#include "fd.h"
#include "lines.h"
#include "sys.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

// The first write failure of each bare output stream open on this thread,
// until the stream is closed: a few streams are open for writing at a time.
namespace {
struct write_error {
    FILE *fp = nullptr;
    int err = 0;
};
thread_local write_error write_errors[8];

void note_write_error(FILE *fp) {
    const int err = errno ? errno : EIO;
    write_error *free_slot = nullptr;
    for (write_error &w : write_errors) {
        if (w.fp == fp)
            return; // the first is kept
        if (w.fp == nullptr && free_slot == nullptr)
            free_slot = &w;
    }
    if (free_slot != nullptr)
        *free_slot = {fp, err};
}

// The stream's remembered write failure, now forgotten; 0 if none.
int take_write_error(FILE *fp) {
    for (write_error &w : write_errors)
        if (w.fp == fp) {
            const int err = w.err;
            w = write_error();
            return err;
        }
    return 0;
}

// Copies a stream's content a block at a time to put; 0, or the errno of
// the failure to read it.
template <class Put> int copy_blocks(FILE *from, Put put) {
    std::vector<char> buffer(io_block_size);
    for (;;) {
        const size_t n = os::sys::fread(buffer.data(), 1, buffer.size(), from);
        if (n > 0 && !put(std::string_view(buffer.data(), n)))
            return 0; // the write error is the output's, for its close
        if (n < buffer.size()) {
            if (std::ferror(from))
                return errno ? errno : EIO;
            return 0;
        }
    }
}

} // namespace

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
    // A write through put_text to this stream counts too.
    const int side = take_write_error(fp);
    sys_error failure{error_ != 0 ? error_ : side, "write", path_};
    error_ = 0;
    const auto fail = [&failure](const char *op) {
        if (failure.err == 0)
            failure = error_now(op, failure.path);
    };
    errno = 0;
    if (sys::fflush(fp) != 0)
        fail("flush");
    if (sync && failure.err == 0 && sys::fsync(fileno(fp)) != 0)
        fail("fsync");
    if (std::ferror(fp) && failure.err == 0)
        failure.err = EIO;
    errno = 0;
    if (sys::fclose(fp) != 0)
        fail("close");
    if (failure.err == 0)
        return {};
    return failure;
}

result<void> copy_stream(FILE *from, out_stream &to) {
    if (const int err = copy_blocks(from, [&to](std::string_view block) { return to.put(block); });
        err != 0)
        return sys_error{err, "read", std::string()};
    return {};
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

bool put_text(FILE *fp, std::string_view text) {
    if (os::sys::fwrite(text.data(), 1, text.size(), fp) != text.size()) {
        note_write_error(fp);
        return false;
    }
    return true;
}

bool put_format(FILE *fp, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int n = os::sys::vfprintf(fp, format, args);
    va_end(args);
    if (n < 0) {
        note_write_error(fp);
        return false;
    }
    return true;
}

int close_output(FILE *fp, bool sync) {
    return os::out_stream(fp).close(sync).err();
}

int close_input(FILE *fp) {
    errno = 0;
    if (os::sys::fclose(fp) != 0)
        return errno ? errno : EIO;
    return 0;
}

int copy_stream(FILE *from, FILE *to) {
    return copy_blocks(from, [to](std::string_view block) { return put_text(to, block); });
}

int finish_stdout(const char *program, int status) {
    if (os::sys::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "%s: error writing standard output: %s\n", program,
                     std::strerror(errno));
        return 1;
    }
    return status;
}
