// The in-place rewrite of a site parameter file: the temporary copy made
// exclusively with the site file's permissions and used through one
// descriptor, the site file written over from its start and cut, restored
// from the copy when anything fails; the lock, --sync, and interrupts
// deferred meanwhile. This is the only code that sets oldfp and newfp.
#include "rewrite.h"
#include "utils.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
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

static void say_failure(const char *what, const std::string &file, int err) {
    report(format_message("Error %s %s: %s", what, shown_name(file).c_str(), std::strerror(err)));
}

bool create_temp_copy(rewrite &rw) {
    struct stat st;
    if (fstat(rw.site_fd, &st) != 0)
        return false;
    // Never readable by more users than the site file; never through a link.
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
// has come to stand for another file, which is not ours to delete.
static bool remove_temp_copy(rewrite &rw) {
    bool ok = true;
    struct stat named, ours;
    if (lstat(temp_file_name, &named) != 0) {
        say_failure("deleting", temp_file_name, errno);
        ok = false;
    } else if (fstat(fileno(rw.copy), &ours) != 0 || named.st_dev != ours.st_dev ||
               named.st_ino != ours.st_ino) {
        report(format_message("Error deleting %s: it was replaced by another file, left as it is",
                              temp_file_name));
        ok = false;
    } else if (unlink(temp_file_name) != 0) {
        say_failure("deleting", temp_file_name, errno);
        ok = false;
    }
    std::fclose(rw.copy);
    rw.copy = nullptr;
    return ok;
}

// Copies the site file into the copy, a block at a time, and makes sure no
// line of it is longer than a site file line may be. 0, or the errno of a
// failure; line_number > 0 names an over-long line, write_err is the errno
// of a failed write.
static int copy_site_file(rewrite &rw, long &line_number, int &write_err) {
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
static FILE *site_file_writer(rewrite &rw) {
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

bool copy_and_swap(rewrite &rw) {
    long long_line = 0;
    int write_err = 0;
    const int err = copy_site_file(rw, long_line, write_err);
    if (long_line > 0) {
        report(format_message(site_file_line_message, shown_name(rw.site_file).c_str(), long_line,
                              too_long_reason(max_text_line).c_str()));
        remove_temp_copy(rw);
        return false;
    }
    if (err != 0) {
        say_failure("reading", rw.site_file, err);
        remove_temp_copy(rw);
        return false;
    }
    // The copy must be whole, and with --sync on the disk, before the site
    // file is emptied.
    errno = 0;
    if (write_err == 0 && std::fflush(rw.copy) != 0)
        write_err = errno ? errno : EIO;
    if (write_err == 0 && sync_rewrites && fsync(fileno(rw.copy)) != 0)
        write_err = errno;
    if (write_err != 0) {
        say_failure("writing", temp_file_name, write_err);
        remove_temp_copy(rw);
        return false;
    }
    std::rewind(rw.copy);
    newfp = site_file_writer(rw);
    if (newfp == nullptr) {
        say_failure("opening for writing", rw.site_file, errno);
        remove_temp_copy(rw);
        return false;
    }
    oldfp = rw.copy;
    return true;
}

void restore_site_file(rewrite &rw) {
    if (newfp != nullptr)
        close_overwritten(newfp, false);
    oldfp = newfp = nullptr;
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
    if (err != 0) {
        const std::string shown = shown_name(rw.site_file);
        report(format_message("Error restoring %s: %s", shown.c_str(), std::strerror(err)));
        std::printf("%s holds the content %s had before this step: copy it back to %s, "
                    "then remove %s before running again.\n",
                    temp_file_name, shown.c_str(), shown.c_str(), temp_file_name);
        std::fclose(rw.copy);
        rw.copy = nullptr;
        return;
    }
    std::printf("%s was restored to its content before this step.\n",
                shown_name(rw.site_file).c_str());
    remove_temp_copy(rw);
}

bool finish_rewrite(rewrite &rw) {
    const int read_err = std::ferror(oldfp) ? EIO : 0;
    const int write_err = close_overwritten(newfp, sync_rewrites);
    newfp = nullptr;
    oldfp = nullptr;
    if (read_err != 0) {
        say_failure("reading", temp_file_name, read_err);
        restore_site_file(rw);
        return false;
    }
    if (write_err != 0) {
        say_failure("writing", rw.site_file, write_err);
        restore_site_file(rw);
        return false;
    }
    return remove_temp_copy(rw);
}

void lock_site_file(int fd, const std::string &path) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
        return; // locked, or a file system without locks
    std::printf("Waiting for %s: another run is rewriting it.\n", shown_name(path).c_str());
    std::fflush(stdout);
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}
