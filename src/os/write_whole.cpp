// Files written whole: through a temporary name renamed into place; a
// device, a pipe or the file standard output goes to written directly.
#include "write_whole.h"
#include "file_paths.h"
#include "signals.h"
#include "sys.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

namespace {

using os::result;
using os::sys_error;
namespace sys = os::sys;

// A stream to write through an open descriptor, which it then owns.
result<os::out_stream> stream_of(os::fd file) {
    FILE *fp = sys::fdopen(file.get(), "w");
    if (fp == nullptr)
        return os::error_now("fdopen", file.path());
    std::string path = file.path();
    file.release();
    return os::out_stream(fp, std::move(path));
}

// The content written through out, and out closed: the first failure.
result<void> put_content(os::out_stream &out, const os::content_writer &fill, bool sync,
                         const std::string &path) {
    const int err = fill(out);
    result<void> closed = out.close(sync);
    if (err != 0)
        return sys_error{err, "write", path};
    return closed;
}

result<void> write_directly(const std::string &path, const os::content_writer &fill) {
    if (std::string why = planted_link(path); !why.empty())
        return sys_error{EPERM, "open", path};
    // /dev/stdout or /dev/stderr: the messages so far come first.
    sys::fflush(stdout);
    sys::fflush(stderr);
    // Not blocking on a pipe without a reader: that is an error (ENXIO).
    const int opened = sys::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (opened < 0)
        return os::error_now("open", path);
    sys::fcntl(opened, F_SETFL, sys::fcntl(opened, F_GETFL) & ~O_NONBLOCK);
    result<os::out_stream> out = stream_of(os::fd(opened, path));
    if (!out)
        return out.error();
    return put_content(*out, fill, false, path);
}

// How a file is written whole: synced or not; keeping the mode of the file
// it replaces; with interrupts deferred only around the rename.
struct whole_write {
    bool sync = false, keep_mode = false, interruptible = false;
    std::optional<mode_t> mode; // that of the file replaced, kept
    // Told once the file is in place, while interrupts still wait.
    const std::function<void()> *placed = nullptr;
};

// Makes the temporary file; for an interruptible write, named for an
// interrupt to remove (made while interrupts wait, so that none comes
// between).
result<os::fd> make_temp(std::string &temp, const whole_write &way) {
    std::optional<os::deferred_interrupts> meanwhile;
    if (way.interruptible)
        meanwhile.emplace();
    const int made = sys::mkostemp(temp.data(), O_CLOEXEC);
    if (made < 0)
        return os::error_now("mkstemp", temp);
    if (way.interruptible)
        remove_on_interrupt(temp.c_str());
    return os::fd(made, temp);
}

// The process's file mode mask, read once: reading it sets it, which
// threads writing files at once must not do one over another.
mode_t process_umask() {
    static const mode_t mask = [] {
        const mode_t read = sys::umask(0);
        sys::umask(read);
        return read;
    }();
    return mask;
}

// The mode of a new file: mkstemp makes it private, so the usual
// permissions.
mode_t mode_of_new() {
    return 0666 & ~process_umask();
}

// Writes the content into the temporary file; the first failure.
result<void> write_temp(os::fd file, const std::string &path, const os::content_writer &fill,
                        const whole_write &way) {
    const int descriptor = file.get();
    result<os::out_stream> out = stream_of(std::move(file));
    if (!out)
        return out.error();
    sys::fchmod(descriptor, way.mode.value_or(mode_of_new()));
    return put_content(*out, fill, way.sync, path);
}

// Creates the temporary file, writes it and renames it into place; the
// first failure (the temporary file is gone then).
result<void> write_renamed(const std::string &path, const std::string &temp_prefix,
                           const os::content_writer &fill, const whole_write &way) {
    std::string temp = temp_prefix + "XXXXXX";
    result<os::fd> made = make_temp(temp, way);
    if (!made)
        return made.error();
    result<void> written = write_temp(std::move(*made), path, fill, way);
    std::optional<os::deferred_interrupts> rename_waits; // the rename is never cut
    if (way.interruptible) {
        rename_waits.emplace();
        remove_on_interrupt(nullptr);
    }
    if (written && sys::rename(temp.c_str(), path.c_str()) != 0)
        written = os::error_now("rename", path);
    if (!written)
        sys::unlink(temp.c_str());
    else if (way.placed != nullptr && *way.placed)
        (*way.placed)();
    return written;
}

// The standard descriptor (1 or 2) that writes to a file, or -1.
int standard_output_of(const struct stat &st) {
    for (int standard : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat out;
        if (sys::fstat(standard, &out) == 0 && out.st_dev == st.st_dev && out.st_ino == st.st_ino)
            return standard;
    }
    return -1;
}

// Writes after what the messages have put there so far, through the
// descriptor itself, so that neither overwrites the other.
result<void> write_to_standard(int standard, const std::string &path,
                               const os::content_writer &fill) {
    sys::fflush(standard == STDOUT_FILENO ? stdout : stderr);
    const int copy = sys::dup(standard);
    if (copy < 0)
        return os::error_now("dup", path);
    result<os::out_stream> out = stream_of(os::fd(copy, path));
    if (!out)
        return out.error();
    return put_content(*out, fill, false, path);
}

// A target that is not a regular file (a device such as /dev/null or
// /dev/stdout, a pipe) is written to, never renamed over.
bool is_special(const struct stat &st) {
    return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

// What is at a path, the link followed: false where nothing is (a
// dangling link); lstat'ed once for the usual file, new or replaced.
bool target_of(const std::string &path, struct stat &st, bool &link) {
    if (sys::lstat(path.c_str(), &st) != 0)
        return link = false;
    link = S_ISLNK(st.st_mode);
    return !link || sys::stat(path.c_str(), &st) == 0;
}

// A file written to, not renamed: in place once written.
result<void> told_placed(result<void> written, const whole_write &way) {
    if (written && way.placed != nullptr && *way.placed) {
        const os::deferred_interrupts meanwhile;
        (*way.placed)();
    }
    return written;
}

result<void> write_whole(const std::string &path, const std::string &temp_prefix,
                         const os::content_writer &fill, whole_write way) {
    if (path.find('\0') != std::string::npos)
        return sys_error{EINVAL, "open", path};
    struct stat st;
    bool link = false;
    const bool there = target_of(path, st, link);
    if (there && is_special(st))
        return told_placed(write_directly(path, fill), way);
    // A link is kept: the file it leads to is put in place, beside itself
    // (/dev/stdout, a link into /proc, is never renamed over); the file
    // that standard output goes to, named or through a link, is written
    // to, since a rename would leave the messages in a file no longer named.
    std::string target = path, prefix = temp_prefix;
    if (link && !planted_link(path).empty())
        return sys_error{EPERM, "open", path};
    if (const int standard = there ? standard_output_of(st) : -1; standard >= 0)
        return told_placed(write_to_standard(standard, path, fill), way);
    if (link) {
        target = link_target(path);
        prefix = target + ".";
    }
    if (way.keep_mode && there && S_ISREG(st.st_mode))
        way.mode = st.st_mode & 0777;
    if (way.interruptible)
        return write_renamed(target, prefix, fill, way);
    // An interrupt waits until the temporary file is renamed or removed.
    os::deferred_interrupts meanwhile;
    return write_renamed(target, prefix, fill, way);
}

} // namespace

result<void> write_file_whole(const std::string &path, const std::string &temp_prefix,
                              const content_writer &fill, bool sync) {
    return write_whole(path, temp_prefix, fill, {sync, false, false, {}});
}

result<void> write_file_replacing(const std::string &path, const std::string &temp_prefix,
                                  const content_writer &fill) {
    return write_whole(path, temp_prefix, fill, {false, true, true, {}});
}

result<void> write_file_replacing_then(const std::string &path, const std::string &temp_prefix,
                                       const content_writer &fill,
                                       const std::function<void()> &placed) {
    return write_whole(path, temp_prefix, fill, {false, true, true, {}, &placed});
}

result<void> write_file_keeping_mode(const std::string &path, const std::string &temp_prefix,
                                     const content_writer &fill) {
    return write_whole(path, temp_prefix, fill, {false, true, false, {}});
}

result<bool> write_new_file(const std::string &path, const std::string &temp_prefix,
                            const content_writer &write, bool sync) {
    if (path.find('\0') != std::string::npos)
        return sys_error{EINVAL, "open", path};
    // An interrupt waits until the temporary file is linked and removed.
    deferred_interrupts meanwhile;
    std::string temp = temp_prefix + "XXXXXX";
    result<fd> made = make_temp(temp, {});
    if (!made)
        return made.error();
    result<void> written = write_temp(std::move(*made), path, write, {sync, false, false, {}});
    bool placed = false;
    if (written) {
        placed = sys::link(temp.c_str(), path.c_str()) == 0;
        if (!placed && errno != EEXIST)
            written = error_now("link", path);
    }
    if (sys::unlink(temp.c_str()) != 0 && written)
        written = error_now("unlink", temp);
    if (!written)
        return written.error();
    return placed;
}

result<void> write_through_temp(const std::string &path, const std::string &temp_prefix,
                                std::string_view text, bool sync) {
    return write_file_whole(
        path, temp_prefix, [text](out_stream &out) { return out.put(text), 0; }, sync);
}

namespace {

// A file of a group under its temporary name, to be renamed over target.
struct staged_file {
    std::string target, temp;
};

// One file of a group written whole under a temporary name beside the file
// it replaces, added to staged; a target that is no regular file written
// directly. The failure, named as files name it (the temporary file gone).
result<void> stage_file(const file_text &f, std::vector<staged_file> &staged) {
    const content_writer fill = [&f](out_stream &out) { return out.put(f.text), 0; };
    const std::string target = renamed_into_place(f.path);
    if (target.empty())
        return write_whole(f.path, f.path + ".", fill, {false, true, false, {}});
    whole_write way{false, true, false, {}};
    struct stat st;
    if (sys::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        way.mode = st.st_mode & 0777;
    std::string temp = target + ".XXXXXX";
    result<fd> made = make_temp(temp, way);
    if (!made)
        return sys_error{made.error().err, made.error().op, f.path};
    result<void> written = write_temp(std::move(*made), f.path, fill, way);
    if (!written) {
        sys::unlink(temp.c_str());
        sys_error named = written.error();
        named.path = f.path;
        return named;
    }
    staged.push_back({target, std::move(temp)});
    return {};
}

} // namespace

result<void> write_files_together(const std::vector<file_text> &files) {
    deferred_interrupts meanwhile;
    std::vector<staged_file> staged;
    result<void> written;
    for (const file_text &f : files) {
        written = f.path.find('\0') != std::string::npos ? sys_error{EINVAL, "open", f.path}
                                                         : stage_file(f, staged);
        if (!written)
            break;
    }
    for (const staged_file &s : staged) {
        if (written && sys::rename(s.temp.c_str(), s.target.c_str()) != 0)
            written = error_now("rename", s.target);
        if (!written)
            sys::unlink(s.temp.c_str());
    }
    return written;
}

namespace {

// The unnamed file linked under a fresh temporary name, closed and renamed
// over path; false in linked when it could not be linked (then nothing was
// done), or the failure of its close or the rename (the temporary name
// removed).
result<void> link_in_place(out_stream &unnamed, const std::string &path,
                           const std::string &temp_prefix, bool &linked) {
    const int descriptor = sys::fileno(unnamed.get());
    sys::fchmod(descriptor, mode_of_new());
    // An interrupt waits until the temporary name is renamed or removed.
    os::deferred_interrupts meanwhile;
    for (int attempt = 0; attempt < 8 && !linked; ++attempt) {
        const std::string temp =
            temp_prefix + std::to_string(sys::getpid()) + "-" + std::to_string(attempt);
        linked = sys::link_descriptor(descriptor, temp.c_str()) == 0;
        if (!linked && errno != EEXIST)
            return {};
        if (!linked)
            continue;
        // Closed, and its failure seen, before it replaces anything.
        result<void> placed = unnamed.close();
        if (placed && sys::rename(temp.c_str(), path.c_str()) != 0)
            placed = os::error_now("rename", path);
        if (!placed)
            sys::unlink(temp.c_str());
        return placed;
    }
    return {};
}

} // namespace

result<void> put_unnamed_in_place(out_stream &unnamed, const std::string &path,
                                  const std::string &temp_prefix) {
    if (unnamed.error() != 0 || !unnamed.flush())
        return sys_error{unnamed.error(), "write", path};
    if (renamed_into_place(path) == path) {
        bool linked = false;
        result<void> placed = link_in_place(unnamed, path, temp_prefix, linked);
        if (linked)
            return placed;
    }
    return write_file_whole(
        path, temp_prefix,
        [&unnamed](out_stream &to) {
            unnamed.rewind();
            return copy_stream(unnamed.get(), to).err();
        },
        false);
}

std::string renamed_into_place(const std::string &path) {
    if (path.find('\0') != std::string::npos)
        return std::string();
    struct stat st;
    bool link = false;
    const bool there = target_of(path, st, link);
    if ((there && (is_special(st) || standard_output_of(st) >= 0)) ||
        (link && !planted_link(path).empty()))
        return std::string();
    return link ? link_target(path) : path;
}

void write_file_in_handler(const char *temp, const char *target, bool sync, bool (*fill)(int fd),
                           int mode) {
    const int saved_errno = errno;
    const int fd = sys::open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        bool ok = mode < 0 || sys::fchmod(fd, static_cast<mode_t>(mode)) == 0;
        ok = fill(fd) && ok;
        ok = ok && (!sync || sys::fsync(fd) == 0);
        ok = sys::close(fd) == 0 && ok;
        if (!ok || sys::rename(temp, target) != 0)
            sys::unlink(temp);
    }
    errno = saved_errno;
}

} // namespace os
