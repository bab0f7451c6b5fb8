// Files written whole: through a temporary name renamed into place; a
// device, a pipe or the file standard output goes to written directly.
#include "write_whole.h"
#include "fd.h"
#include "file_paths.h"
#include "signals.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A target that is there and is not a regular file (a device such as
// /dev/null or /dev/stdout, a pipe) is written to, never renamed over.
static bool is_special_target(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

static int write_directly(const std::string &path, const std::function<int(FILE *)> &write) {
    if (std::string why = planted_link(path); !why.empty())
        return EPERM;
    // /dev/stdout or /dev/stderr: the messages so far come first.
    std::fflush(stdout);
    std::fflush(stderr);
    // Not blocking on a pipe without a reader: that is an error (ENXIO).
    const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE *fp = fdopen(fd, "w");
    if (fp == nullptr) {
        const int err = errno;
        close(fd);
        return err;
    }
    const int err = write(fp);
    const int close_err = close_output(fp, false);
    return err != 0 ? err : close_err;
}

// How a file is written whole: synced or not; keeping the mode of the file
// it replaces; with interrupts deferred only around the rename.
struct whole_write {
    bool sync = false, keep_mode = false, interruptible = false;
};

// Makes the temporary file; for an interruptible write, named for an
// interrupt to remove (made while interrupts wait, so that none comes
// between). The descriptor, or -1 with errno set.
static int make_temp(std::string &temp, const whole_write &way) {
    if (!way.interruptible)
        return mkostemp(temp.data(), O_CLOEXEC);
    defer_interrupts(true);
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    const int err = errno;
    if (fd >= 0)
        remove_on_interrupt(temp.c_str());
    defer_interrupts(false);
    errno = err;
    return fd;
}

// The mode of the file written: mkstemp makes it private, so the usual
// permissions, or those of the file it replaces.
static mode_t mode_of_new(const std::string &path, const whole_write &way) {
    const mode_t mask = umask(0);
    umask(mask);
    struct stat st;
    if (way.keep_mode && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 0777;
    return 0666 & ~mask;
}

// Creates the temporary file, writes it and renames it into place; 0 or
// the errno of the failure (the temporary file is gone then).
static int write_renamed(const std::string &path, const std::string &temp_prefix,
                         const std::function<int(FILE *)> &write, const whole_write &way) {
    std::string temp = temp_prefix + "XXXXXX";
    const int fd = make_temp(temp, way);
    if (fd < 0)
        return errno;
    int err = 0;
    FILE *fp = fdopen(fd, "w");
    if (fp == nullptr) {
        err = errno;
        close(fd);
    } else {
        fchmod(fd, mode_of_new(path, way));
        err = write(fp);
        const int close_err = close_output(fp, way.sync);
        if (err == 0)
            err = close_err;
    }
    if (way.interruptible) {
        defer_interrupts(true); // the rename is never cut
        remove_on_interrupt(nullptr);
    }
    if (err == 0 && rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0)
        unlink(temp.c_str());
    if (way.interruptible)
        defer_interrupts(false);
    return err;
}

// The standard descriptor (1 or 2) that writes to a file, or -1.
static int standard_output_of(const struct stat &st) {
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat out;
        if (fstat(fd, &out) == 0 && out.st_dev == st.st_dev && out.st_ino == st.st_ino)
            return fd;
    }
    return -1;
}

// Writes after what the messages have put there so far, through the
// descriptor itself, so that neither overwrites the other.
static int write_to_standard(int standard, const std::function<int(FILE *)> &write) {
    std::fflush(standard == STDOUT_FILENO ? stdout : stderr);
    const int fd = dup(standard);
    FILE *fp = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (fp == nullptr) {
        const int err = errno;
        if (fd >= 0)
            close(fd);
        return err;
    }
    const int err = write(fp);
    const int close_err = close_output(fp, false);
    return err != 0 ? err : close_err;
}

static int write_whole(const std::string &path, const std::string &temp_prefix,
                       const std::function<int(FILE *)> &write, const whole_write &way) {
    if (path.find('\0') != std::string::npos)
        return EINVAL;
    if (is_special_target(path))
        return write_directly(path, write);
    // A link is kept: the file it leads to is put in place, beside itself
    // (/dev/stdout, a link into /proc, is never renamed over); the file
    // that standard output goes to, named or through a link, is written
    // to, since a rename would leave the messages in a file no longer named.
    std::string target = path, prefix = temp_prefix;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        const bool link = S_ISLNK(st.st_mode);
        if (link && !planted_link(path).empty())
            return EPERM;
        if (const int standard = stat(path.c_str(), &st) == 0 ? standard_output_of(st) : -1;
            standard >= 0)
            return write_to_standard(standard, write);
        if (link) {
            target = link_target(path);
            prefix = target + ".";
        }
    }
    if (way.interruptible)
        return write_renamed(target, prefix, write, way);
    // An interrupt waits until the temporary file is renamed or removed.
    defer_interrupts(true);
    const int err = write_renamed(target, prefix, write, way);
    defer_interrupts(false);
    return err;
}

int write_file_whole(const std::string &path, const std::string &temp_prefix,
                     const std::function<int(FILE *)> &write, bool sync) {
    return write_whole(path, temp_prefix, write, {sync, false, false});
}

int write_file_replacing(const std::string &path, const std::string &temp_prefix,
                         const std::function<int(FILE *)> &write) {
    return write_whole(path, temp_prefix, write, {false, true, true});
}

std::string renamed_into_place(const std::string &path) {
    if (path.find('\0') != std::string::npos || is_special_target(path))
        return std::string();
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return path;
    const bool link = S_ISLNK(st.st_mode);
    if ((link && !planted_link(path).empty()) ||
        (stat(path.c_str(), &st) == 0 && standard_output_of(st) >= 0))
        return std::string();
    return link ? link_target(path) : path;
}

int write_through_temp(const std::string &path, const std::string &temp_prefix,
                       std::string_view text, bool sync) {
    return write_file_whole(
        path, temp_prefix, [text](FILE *fp) { return put_text(fp, text), 0; }, sync);
}
