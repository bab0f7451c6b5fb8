// Checked writing and closing of streams.
#include "fd.h"
#include "lines.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <unistd.h>
#include <vector>

// The first write failure of each output stream open on this thread, until
// the stream is closed: a few streams are open for writing at a time.
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

} // namespace

bool put_text(FILE *fp, std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), fp) != text.size()) {
        note_write_error(fp);
        return false;
    }
    return true;
}

bool put_format(FILE *fp, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vfprintf(fp, format, args);
    va_end(args);
    if (n < 0) {
        note_write_error(fp);
        return false;
    }
    return true;
}

// Flushes, syncs when sync is set, and closes; 0 or the errno of the first
// failure.
int close_output(FILE *fp, bool sync) {
    int err = take_write_error(fp);
    errno = 0;
    if (std::fflush(fp) != 0 && err == 0)
        err = errno ? errno : EIO;
    if (sync && err == 0 && fsync(fileno(fp)) != 0)
        err = errno;
    if (std::ferror(fp) && err == 0)
        err = EIO;
    errno = 0;
    if (std::fclose(fp) != 0 && err == 0)
        err = errno ? errno : EIO;
    return err;
}

int close_input(FILE *fp) {
    errno = 0;
    if (std::fclose(fp) != 0)
        return errno ? errno : EIO;
    return 0;
}

int copy_stream(FILE *from, FILE *to) {
    std::vector<char> buffer(io_block_size);
    for (;;) {
        size_t n = std::fread(buffer.data(), 1, buffer.size(), from);
        if (n > 0 && !put_text(to, std::string_view(buffer.data(), n)))
            return 0; // the write error is the stream's, for its close
        if (n < buffer.size()) {
            if (std::ferror(from))
                return errno ? errno : EIO;
            return 0;
        }
    }
}

int finish_stdout(const char *program, int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "%s: error writing standard output: %s\n", program,
                     std::strerror(errno));
        return 1;
    }
    return status;
}
