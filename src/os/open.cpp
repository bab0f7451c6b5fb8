// Opening files.
#include "open.h"
#include "file_paths.h"
#include "sys.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace os {

namespace {

// The system would cut a name at a NUL byte and open another file.
bool holds_nul(const std::string &path) {
    return path.find('\0') != std::string::npos;
}

} // namespace

result<regular_file> open_regular(const std::string &path, bool writable) {
    if (holds_nul(path))
        return sys_error{EINVAL, "open", path};
    // Non-blocking, so that opening a pipe does not wait for a writer.
    const int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    regular_file opened;
    int descriptor = -1;
    if (writable) {
        descriptor = sys::open(path.c_str(), O_RDWR | flags);
        const int err = descriptor < 0 ? errno : 0;
        // What refuses the writing of a file that may still be read.
        if (err != 0 && err != EACCES && err != EROFS && err != ETXTBSY && err != EPERM)
            return sys_error{err, "open", path};
        opened.write_errno = err;
    }
    if (descriptor < 0)
        descriptor = sys::open(path.c_str(), O_RDONLY | flags);
    if (descriptor < 0)
        return error_now("open", path);
    opened.file = os::fd(descriptor, path);
    if (sys::fstat(opened.file.get(), &opened.status) != 0)
        return error_now("fstat", path);
    if (S_ISDIR(opened.status.st_mode))
        return sys_error{EISDIR, "open", path};
    if (!S_ISREG(opened.status.st_mode))
        return sys_error{EINVAL, "open", path, "not a regular file"};
    return opened; // O_NONBLOCK changes nothing for a regular file
}

result<os::fd> open_input(const std::string &path) {
    if (holds_nul(path))
        return sys_error{EINVAL, "open", path};
    const int opened = sys::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (opened < 0)
        return error_now("open", path);
    return os::fd(opened, path);
}

result<os::fd> open_for_overwrite(const std::string &path, bool create) {
    if (holds_nul(path))
        return sys_error{EINVAL, "open", path};
    const int flags = O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0);
    int opened = sys::open(path.c_str(), flags | O_NOFOLLOW, 0666);
    // A link is followed only where the kernel's protected_symlinks would.
    if (opened < 0 && errno == ELOOP) {
        if (!planted_link(path).empty())
            return sys_error{EPERM, "open", path};
        opened = sys::open(path.c_str(), flags, 0666);
    }
    if (opened < 0)
        return error_now("open", path);
    return os::fd(opened, path);
}

result<out_stream> open_unnamed_beside(const std::string &path) {
    const std::string dir = dir_of(path);
    int descriptor = sys::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor < 0 && errno != ENOENT && errno != ENOTDIR && errno != EACCES &&
        errno != EROFS) {
        // A file system without unnamed files: a named one, removed at once.
        std::string temp = dir + "/.siteprep-XXXXXX";
        descriptor = sys::mkostemp(temp.data(), O_CLOEXEC);
        if (descriptor >= 0)
            sys::unlink(temp.c_str());
    }
    if (descriptor < 0)
        return error_now("open", dir);
    os::fd unnamed(descriptor, dir);
    FILE *fp = sys::fdopen(unnamed.get(), "w+");
    if (fp == nullptr)
        return error_now("fdopen", dir);
    unnamed.release();
    return out_stream(fp, path);
}

FILE *efopen(const char *path, const char *mode, int *flag) {
    *flag = 0;
    FILE *fp = os::sys::fopen(path, mode);
    if (fp == nullptr) {
        *flag = 1;
        return nullptr;
    }
    // fopen accepts a directory for reading; its first read would fail.
    struct stat st;
    if (mode[0] == 'r' && os::sys::fstat(os::sys::fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        os::sys::fclose(fp);
        errno = EISDIR;
        *flag = 1;
        return nullptr;
    }
    return fp;
}

os::result<void> fill_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (os::sys::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int opened = os::sys::open("/dev/null", O_RDONLY);
        if (opened != fd) {
            // The lowest free descriptor is fd, those below it being open.
            const os::sys_error failed = opened < 0 ? os::error_now("open", "/dev/null")
                                                    : os::sys_error{EBADF, "open", "/dev/null"};
            if (opened >= 0)
                os::sys::close(opened);
            return failed;
        }
    }
    return {};
}

} // namespace os
