// The in-place rewrite of a site parameter file: the temporary copy made
// exclusively with the site file's permissions and used through one
// descriptor, the site file written over from its start and cut, restored
// from the copy when anything fails; the lock, --sync, and interrupts
// deferred meanwhile. This is the only code that sets oldfp and newfp.
#include "rewrite.h"
#include "fd.h"
#include "fixed_files.h"
#include "lines.h"
#include "open.h"
#include "overwrite.h"
#include "report.h"
#include "shown.h"
#include "signals.h"
#include "streams.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

bool sync_rewrites = false;

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
    rw.copy_fd = open(temp_file_name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      rw.site_mode & 0777);
    return rw.copy_fd >= 0;
}

// Removes the temporary copy once it is no longer needed, unless its name
// has come to stand for another file, which is not ours to delete; what
// went wrong, if anything.
failure remove_temp_copy(rewrite &rw) {
    failure f;
    struct stat named, ours;
    if (lstat(temp_file_name, &named) != 0) {
        f = failed("deleting", temp_file_name, errno);
    } else if (fstat(rw.copy_fd, &ours) != 0 || named.st_dev != ours.st_dev ||
               named.st_ino != ours.st_ino) {
        f.message = format_message(
            "Error deleting %s: it was replaced by another file, left as it is", temp_file_name);
    } else if (unlink(temp_file_name) != 0) {
        f = failed("deleting", temp_file_name, errno);
    }
    close(rw.copy_fd);
    rw.copy_fd = -1;
    return f;
}

// An open file's size, so that one no longer than what is written over it
// needs no cut (a cut costs the file system far more than asking); unknown
// is as long as can be.
size_t size_of_open_file(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 ? static_cast<size_t>(st.st_size) : SIZE_MAX;
}

// A failure, then what removing the copy said.
failure with_copy_removed(failure f, rewrite &rw) {
    const failure removed = remove_temp_copy(rw);
    if (removed.failed())
        add_after(f, removed.message);
    return f;
}

// The number of the first line of text longer than a site file line may
// be, counting on from line (whose length so far is length); 0 if none.
long long_line_in(std::string_view text, long &line, size_t &length) {
    for (const char *p = text.data(), *end = p + text.size(); p < end;) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', end - p));
        length += static_cast<size_t>((nl ? nl : end) - p);
        if (length > max_text_line)
            return line;
        if (nl == nullptr)
            break;
        length = 0;
        ++line;
        p = nl + 1;
    }
    return 0;
}

// Reads the site file whole into the rewrite's content, a block at a time,
// and makes sure no line of it is longer than a site file line may be. 0, or
// the errno of a failure; line_number > 0 names an over-long line. A regular
// file reads short only at its end.
int read_site_content(rewrite &rw, long &line_number) {
    long line = 1;
    size_t length = 0;
    for (;;) {
        const size_t old = rw.content.size();
        rw.content.resize(old + io_block_size);
        const ssize_t n =
            pread(rw.site_fd, rw.content.data() + old, io_block_size, static_cast<off_t>(old));
        rw.content.resize(old + (n > 0 ? static_cast<size_t>(n) : 0));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        line_number = long_line_in(std::string_view(rw.content).substr(old), line, length);
        if (line_number > 0)
            return EFBIG;
        if (static_cast<size_t>(n) < io_block_size)
            return 0;
    }
}

// Writes all of text to a new file's descriptor; 0 or the errno.
int write_all(int fd, std::string_view text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// Makes the copy whole (and with --sync on the disk) before the site file
// is written over.
failure fill_copy(rewrite &rw) {
    long long_line = 0;
    if (const int err = read_site_content(rw, long_line); long_line > 0) {
        failure f;
        f.message = format_message(site_file_line_message, shown_name(rw.site_file).c_str(),
                                   long_line, too_long_reason(max_text_line).c_str());
        return f;
    } else if (err != 0) {
        return failed("reading", rw.site_file, err);
    }
    int write_err = write_all(rw.copy_fd, rw.content);
    if (write_err == 0 && sync_rewrites && fsync(rw.copy_fd) != 0)
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

// Runs the passes, each reading what the one before wrote (the first the
// copy's content), each writing into memory; the last one's text is left in
// result. False when memory or a pass failed.
bool run_passes(const std::string &content, const std::vector<rewrite_pass> &passes,
                std::string &result) {
    // Only read, through a stream that cannot write.
    FILE *from = fmemopen(const_cast<char *>(content.data()), content.size(), "r");
    char *text = nullptr; // what from reads, after the first pass
    bool ok = from != nullptr;
    for (size_t i = 0; ok && i < passes.size(); ++i) {
        char *written = nullptr;
        size_t size = 0;
        FILE *to = open_memstream(&written, &size);
        ok = to != nullptr && run_pass(passes[i], from, to);
        if (to != nullptr)
            ok = close_output(to, false) == 0 && ok;
        std::fclose(from);
        std::free(text);
        text = written;
        from = nullptr;
        if (ok && i + 1 < passes.size()) {
            from = fmemopen(text, size, "r");
            ok = from != nullptr;
        } else if (ok) {
            try {
                result.assign(text, size);
            } catch (const std::bad_alloc &) {
                ok = false;
            }
        }
    }
    if (from != nullptr)
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

// The passes, their text written over the site file and cut to its
// length, and the copy deleted; or the site file restored.
failure write_over_site_file(rewrite &rw, const std::vector<rewrite_pass> &passes) {
    if (rw.write_errno != 0)
        return with_copy_removed(failed("opening for writing", rw.site_file, rw.write_errno), rw);
    std::string text;
    if (!run_passes(rw.content, passes, text))
        return restored(failed("rewriting", rw.site_file, ENOMEM), rw);
    // The site file is as long as the content read from it: a text no
    // shorter needs no cut.
    if (const int err = write_over_fd(rw.site_fd, text, sync_rewrites, rw.content.size()); err != 0)
        return restored(failed("writing", rw.site_file, err), rw);
    return remove_temp_copy(rw);
}

} // namespace

std::string restore_site_file(rewrite &rw, bool &kept) {
    const int err =
        rw.write_errno != 0 ? rw.write_errno : write_over_fd(rw.site_fd, rw.content, sync_rewrites);
    kept = err != 0;
    if (!kept) {
        const std::string said =
            shown_name(rw.site_file) + " was restored to its content before this step.";
        const failure removed = remove_temp_copy(rw);
        return removed.failed() ? said + "\n" + removed.message : said;
    }
    const std::string shown = shown_name(rw.site_file);
    close(rw.copy_fd);
    rw.copy_fd = -1;
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
    const int fd = open_for_overwrite(path, true);
    if (fd < 0) {
        f.err = errno;
        f.message = format_message(soil_open_message, shown_name(site).c_str()) + "\n" +
                    shown_name(path) + ": " + std::strerror(f.err);
        return f;
    }
    // The pass reads nothing: it writes into memory, then over the file.
    std::string text;
    int err = run_passes(std::string(), {pass}, text)
                  ? write_over_fd(fd, text, false, size_of_open_file(fd))
                  : ENOMEM;
    if (close(fd) != 0 && err == 0)
        err = errno;
    if (kept != nullptr)
        kept->swap(text);
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
