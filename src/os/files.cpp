// Small operations on files by descriptor and by name.
#include "files.h"
#include "file_paths.h"
#include "sys.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace os {

result<os::fd> create_exclusive(const std::string &path, unsigned mode) {
    const int made =
        sys::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (made < 0)
        return error_now("open", path);
    return os::fd(made, path);
}

result<void> sync(const os::fd &file) {
    if (sys::fsync(file.get()) != 0)
        return error_now("fsync", file.path());
    return {};
}

size_t size_of(const os::fd &file) {
    struct stat st;
    return sys::fstat(file.get(), &st) == 0 ? static_cast<size_t>(st.st_size) : SIZE_MAX;
}

bool try_lock(const os::fd &file) {
    return sys::flock(file.get(), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

void wait_for_lock(const os::fd &file) {
    while (sys::flock(file.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
}

result<bool> remove_if_still(const std::string &path, const os::fd &file) {
    struct stat named, ours;
    if (sys::lstat(path.c_str(), &named) != 0)
        return error_now("lstat", path);
    if (sys::fstat(file.get(), &ours) != 0 || named.st_dev != ours.st_dev ||
        named.st_ino != ours.st_ino)
        return false;
    if (sys::unlink(path.c_str()) != 0)
        return error_now("unlink", path);
    return true;
}

void remove_if_regular(const std::string &path) {
    struct stat st;
    if (sys::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        sys::unlink(path.c_str());
}

result<void> may_write_over(const std::string &path) {
    struct stat st;
    if (sys::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return sys_error{EISDIR, "open", path};
        if (!S_ISREG(st.st_mode))
            return sys_error{EINVAL, "open", path, "not a regular file"};
        if (sys::access(path.c_str(), W_OK) != 0)
            return error_now("access", path);
    } else if (errno != ENOENT || sys::access(dir_of(path).c_str(), W_OK | X_OK) != 0) {
        return error_now("access", path);
    }
    return {};
}

bool is_directory(const std::string &path) {
    struct stat st;
    return sys::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace os
