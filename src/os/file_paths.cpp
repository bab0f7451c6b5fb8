// Paths and the files they name.
#include "file_paths.h"
#include "shown.h"
#include "sys.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

std::string dir_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string link_target(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        if (char *real = os::sys::realpath(path.c_str()); real != nullptr) {
            std::string resolved = real;
            std::free(real);
            return resolved;
        }
        char to[PATH_MAX];
        const ssize_t n = os::sys::readlink(path.c_str(), to, sizeof to - 1);
        if (n <= 0)
            return path; // not a link: a file to create
        const std::string next(to, static_cast<size_t>(n));
        path = next[0] == '/' ? next : dir_of(path) + "/" + next;
    }
    return path;
}

bool name_taken(const char *path) {
    struct stat st;
    return !(os::sys::lstat(path, &st) != 0 && errno == ENOENT);
}

file_id id_of_status(const struct stat &st) {
    return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}

os::result<file_id> id_of_fd(int fd) {
    struct stat st;
    if (os::sys::fstat(fd, &st) != 0)
        return os::error_now("fstat");
    return id_of_status(st);
}

std::string planted_link(const std::string &path) {
    struct stat link, dir;
    if (path.find('\0') != std::string::npos || os::sys::lstat(path.c_str(), &link) != 0 ||
        !S_ISLNK(link.st_mode) || os::sys::stat(dir_of(path).c_str(), &dir) != 0)
        return std::string();
    const bool shared = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
    if (!shared || link.st_uid == os::sys::geteuid() || link.st_uid == dir.st_uid)
        return std::string();
    return shown_name(path) +
           " is a symbolic link that another user made in a shared directory (sticky and "
           "writable by all): it is not followed; remove it or write elsewhere.";
}

namespace {

// The status stat or lstat gives of path.
result<struct stat> status_by(int (*call)(const char *, struct stat *), const char *op,
                              const std::string &path) {
    if (path.find('\0') != std::string::npos)
        return sys_error{EINVAL, op, path};
    struct stat st;
    if (call(path.c_str(), &st) != 0)
        return error_now(op, path);
    return st;
}

} // namespace

result<struct stat> status_of(const std::string &path) {
    return status_by(sys::stat, "stat", path);
}

result<struct stat> link_status_of(const std::string &path) {
    return status_by(sys::lstat, "lstat", path);
}

result<void> make_directory(const std::string &path) {
    if (sys::mkdir(path.c_str(), 0777) != 0)
        return error_now("mkdir", path);
    return {};
}

result<void> remove_directory(const std::string &path) {
    if (sys::rmdir(path.c_str()) != 0)
        return error_now("rmdir", path);
    return {};
}

result<void> may_create_in(const std::string &dir) {
    result<struct stat> st = status_of(dir);
    if (!st)
        return st.error();
    if (!S_ISDIR(st->st_mode))
        return sys_error{ENOTDIR, "stat", dir};
    if (sys::access(dir.c_str(), W_OK | X_OK) != 0)
        return error_now("access", dir);
    return {};
}

} // namespace os
