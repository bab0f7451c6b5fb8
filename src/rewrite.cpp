// The in-place rewrite of a site parameter file: the temporary copy made
// exclusively with the site file's permissions and used through one
// descriptor, the site file written over from its start and cut, restored
// from the copy when anything fails; the lock, --sync, and interrupts
// deferred meanwhile. This is the only code that sets oldfp and newfp.
#include "rewrite.h"
#include "utils.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

FILE *oldfp = nullptr;
FILE *newfp = nullptr;
bool sync_rewrites = false;

void defer_interrupts(bool defer) {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        sigaddset(&set, sig);
    if (!defer) {
        sigset_t pending;
        sigpending(&pending);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
            if (sigismember(&pending, sig))
                std::fflush(stdout); // the messages so far, before the signal ends the run
    }
    sigprocmask(defer ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

namespace {

// Adds a line to what a failure says after its message.
void add_after(failure &f, const std::string &line) {
    f.after += (f.after.empty() ? "" : "\n") + line;
}

failure failed(const char *what, const std::string &file, int err) {
    failure f;
    f.message =
        format_message("Error %s %s: %s", what, shown_name(file).c_str(), std::strerror(err));
    f.err = err;
    return f;
}

// Creates the temporary copy exclusively (an existing file or link is never
// reused), never readable by more users than the site file; false with
// errno set.
bool create_temp_copy(rewrite &rw) {
    struct stat st;
    if (fstat(rw.site_fd, &st) != 0)
        return false;
    const int fd =
        open(temp_file_name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0777);
    if (fd < 0)
        return false;
    rw.copy = fdopen(fd, "w+");
    // A buffer of our own spares the library a stat of the file for its size.
    static char copy_buffer[io_block_size];
    if (rw.copy != nullptr)
        setvbuf(rw.copy, copy_buffer, _IOFBF, sizeof copy_buffer);
    if (rw.copy == nullptr) {
        const int err = errno;
        unlink(temp_file_name);
        close(fd);
        errno = err;
        return false;
    }
    return true;
}

// Removes the temporary copy once it is no longer needed, unless its name
// has come to stand for another file, which is not ours to delete; what
// went wrong, if anything.
failure remove_temp_copy(rewrite &rw) {
    failure f;
    struct stat named, ours;
    if (lstat(temp_file_name, &named) != 0) {
        f = failed("deleting", temp_file_name, errno);
    } else if (fstat(fileno(rw.copy), &ours) != 0 || named.st_dev != ours.st_dev ||
               named.st_ino != ours.st_ino) {
        f.message = format_message(
            "Error deleting %s: it was replaced by another file, left as it is", temp_file_name);
    } else if (unlink(temp_file_name) != 0) {
        f = failed("deleting", temp_file_name, errno);
    }
    std::fclose(rw.copy);
    rw.copy = nullptr;
    return f;
}

// A failure, then what removing the copy said.
failure with_copy_removed(failure f, rewrite &rw) {
    const failure removed = remove_temp_copy(rw);
    if (removed.failed())
        add_after(f, removed.message);
    return f;
}

// Copies the site file into the copy, a block at a time, and makes sure no
// line of it is longer than a site file line may be. 0, or the errno of a
// failure; line_number > 0 names an over-long line, write_err is the errno
// of a failed write.
int copy_site_file(rewrite &rw, long &line_number, int &write_err) {
    std::vector<char> buffer(io_block_size);
    off_t offset = 0;
    size_t line_length = 0;
    long lines = 1;
    for (;;) {
        const ssize_t n = pread(rw.site_fd, buffer.data(), buffer.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        offset += n;
        for (const char *p = buffer.data(), *end = p + n; p < end;) {
            const char *nl = static_cast<const char *>(std::memchr(p, '\n', end - p));
            line_length += static_cast<size_t>((nl ? nl : end) - p);
            if (line_length > max_text_line) {
                line_number = lines;
                return EFBIG;
            }
            if (nl == nullptr)
                break;
            line_length = 0;
            ++lines;
            p = nl + 1;
        }
        if (!put_text(rw.copy, std::string_view(buffer.data(), static_cast<size_t>(n)))) {
            write_err = take_write_error(rw.copy);
            return 0;
        }
    }
}

// A stream writing the site file over from its start, through its open
// descriptor: the name is not opened again.
FILE *site_file_writer(rewrite &rw) {
    if (rw.write_errno != 0) {
        errno = rw.write_errno;
        return nullptr;
    }
    const int fd = dup(rw.site_fd);
    if (fd < 0)
        return nullptr;
    FILE *fp = lseek(fd, 0, SEEK_SET) == 0 ? fdopen(fd, "w") : nullptr;
    static char site_buffer[io_block_size];
    if (fp != nullptr)
        setvbuf(fp, site_buffer, _IOFBF, sizeof site_buffer);
    if (fp == nullptr) {
        const int err = errno;
        close(fd);
        errno = err;
    }
    return fp;
}

// Makes the copy whole (and with --sync on the disk) before the site file
// is written over.
failure fill_copy(rewrite &rw) {
    long long_line = 0;
    int write_err = 0;
    if (const int err = copy_site_file(rw, long_line, write_err); long_line > 0) {
        failure f;
        f.message = format_message(site_file_line_message, shown_name(rw.site_file).c_str(),
                                   long_line, too_long_reason(max_text_line).c_str());
        return f;
    } else if (err != 0) {
        return failed("reading", rw.site_file, err);
    }
    errno = 0;
    if (write_err == 0 && std::fflush(rw.copy) != 0)
        write_err = errno ? errno : EIO;
    if (write_err == 0 && sync_rewrites && fsync(fileno(rw.copy)) != 0)
        write_err = errno;
    if (write_err != 0)
        return failed("writing", temp_file_name, write_err);
    return failure();
}

// One pass from one stream to another. A pass that runs out of memory
// fails like any other: the site file is restored.
bool run_pass(const rewrite_pass &pass, FILE *from, FILE *to) {
    oldfp = from;
    newfp = to;
    bool ok = false;
    try {
        ok = pass();
    } catch (const std::bad_alloc &) {
        ok = false;
    }
    oldfp = newfp = nullptr;
    return ok;
}

// Writes the passes' content: each pass but the last into memory, read
// back by the next; the last over the site file. False when memory or a
// pass failed.
bool run_passes(FILE *copy, FILE *site, const std::vector<rewrite_pass> &passes) {
    FILE *from = copy;
    char *text = nullptr; // what from reads, once it is in memory
    bool ok = true;
    for (size_t i = 0; ok && i < passes.size(); ++i) {
        const bool last = i + 1 == passes.size();
        char *written = nullptr;
        size_t size = 0;
        FILE *to = last ? site : open_memstream(&written, &size);
        ok = to != nullptr && run_pass(passes[i], from, to);
        if (!last && to != nullptr)
            ok = close_output(to, false) == 0 && ok;
        if (from != copy)
            std::fclose(from);
        std::free(text);
        text = written;
        from = ok && !last ? fmemopen(text, size, "r") : nullptr;
        ok = ok && (last || from != nullptr);
    }
    if (from != nullptr && from != copy)
        std::fclose(from);
    std::free(text);
    return ok;
}

// After a failure with the site file written over: restored from the copy,
// and what the restore said after the failure's message.
failure restored(failure f, rewrite &rw) {
    bool kept = false;
    add_after(f, restore_site_file(rw, kept));
    f.stops_batch = kept;
    return f;
}

// The pass over the site file, its cut to the new length, and the copy
// deleted; or the site file restored.
failure write_over_site_file(rewrite &rw, const std::vector<rewrite_pass> &passes) {
    FILE *site = site_file_writer(rw);
    if (site == nullptr)
        return with_copy_removed(failed("opening for writing", rw.site_file, errno), rw);
    std::rewind(rw.copy);
    if (!run_passes(rw.copy, site, passes)) {
        close_overwritten(site, false);
        return restored(failed("rewriting", rw.site_file, ENOMEM), rw);
    }
    const int read_err = std::ferror(rw.copy) ? EIO : 0;
    const int write_err = close_overwritten(site, sync_rewrites);
    if (read_err != 0)
        return restored(failed("reading", temp_file_name, read_err), rw);
    if (write_err != 0)
        return restored(failed("writing", rw.site_file, write_err), rw);
    return remove_temp_copy(rw);
}

} // namespace

std::string restore_site_file(rewrite &rw, bool &kept) {
    int err = 0;
    std::clearerr(rw.copy);
    std::rewind(rw.copy);
    FILE *to = site_file_writer(rw);
    if (to == nullptr) {
        err = errno;
    } else {
        err = copy_stream(rw.copy, to);
        const int close_err = close_overwritten(to, sync_rewrites);
        if (err == 0)
            err = close_err;
    }
    kept = err != 0;
    if (!kept) {
        const std::string said =
            shown_name(rw.site_file) + " was restored to its content before this step.";
        const failure removed = remove_temp_copy(rw);
        return removed.failed() ? said + "\n" + removed.message : said;
    }
    const std::string shown = shown_name(rw.site_file);
    std::fclose(rw.copy);
    rw.copy = nullptr;
    return format_message("Error restoring %s: %s", shown.c_str(), std::strerror(err)) + "\n" +
           format_message("%s holds the content %s had before this step: copy it back to %s, "
                          "then remove %s before running again.",
                          temp_file_name, shown.c_str(), shown.c_str(), temp_file_name);
}

failure rewrite_site_file(const rewrite &target, const std::string &site,
                          const std::vector<rewrite_pass> &passes) {
    rewrite rw = target;
    defer_interrupts(true);
    failure f;
    if (!create_temp_copy(rw)) {
        f.err = errno;
        f.message = format_message(keys_temp_open_message, shown_name(site).c_str()) + "\n" +
                    temp_file_name + ": " + std::strerror(f.err);
    } else if (f = fill_copy(rw); f.failed()) {
        f = with_copy_removed(f, rw);
    } else {
        f = write_over_site_file(rw, passes);
    }
    defer_interrupts(false);
    return f;
}

failure write_over(const char *path, const std::string &site, const rewrite_pass &pass,
                   std::string *kept) {
    failure f;
    int flag = 0;
    FILE *to = open_for_overwrite(path, true, &flag);
    if (flag) {
        f.err = errno;
        f.message = format_message(soil_open_message, shown_name(site).c_str()) + "\n" +
                    shown_name(path) + ": " + std::strerror(f.err);
        return f;
    }
    char *text = nullptr;
    size_t size = 0;
    newfp = kept != nullptr ? open_memstream(&text, &size) : to;
    int err = newfp == nullptr ? ENOMEM : 0;
    if (newfp != nullptr) {
        pass();
        if (kept != nullptr) {
            err = close_output(newfp, false);
            kept->assign(err == 0 ? text : "", err == 0 ? size : 0);
            std::free(text);
            put_text(to, *kept);
        }
    }
    newfp = nullptr;
    const int close_err = close_overwritten(to, false);
    if (err == 0)
        err = close_err;
    if (err != 0) {
        f.err = err;
        f.message = format_message("Error writing %s for %s: %s", shown_name(path).c_str(),
                                   shown_name(site).c_str(), std::strerror(err));
    }
    return f;
}

void lock_site_file(int fd, const std::string &path) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
        return; // locked, or a file system without locks
    std::printf("Waiting for %s: another run is rewriting it.\n", shown_name(path).c_str());
    std::fflush(stdout);
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}
