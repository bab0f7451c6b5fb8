// Paths and the files they name.
#include "file_paths.h"
#include "shown.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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
        if (char *real = realpath(path.c_str(), nullptr); real != nullptr) {
            std::string resolved = real;
            std::free(real);
            return resolved;
        }
        char to[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), to, sizeof to - 1);
        if (n <= 0)
            return path; // not a link: a file to create
        const std::string next(to, static_cast<size_t>(n));
        path = next[0] == '/' ? next : dir_of(path) + "/" + next;
    }
    return path;
}

bool name_taken(const char *path) {
    struct stat st;
    return !(lstat(path, &st) != 0 && errno == ENOENT);
}

file_id id_of_status(const struct stat &st) {
    return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}

bool id_of_fd(int fd, file_id &id) {
    struct stat st;
    if (fstat(fd, &st) != 0)
        return false;
    id = id_of_status(st);
    return true;
}

std::string planted_link(const std::string &path) {
    struct stat link, dir;
    if (path.find('\0') != std::string::npos || lstat(path.c_str(), &link) != 0 ||
        !S_ISLNK(link.st_mode) || stat(dir_of(path).c_str(), &dir) != 0)
        return std::string();
    const bool shared = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
    if (!shared || link.st_uid == geteuid() || link.st_uid == dir.st_uid)
        return std::string();
    return shown_name(path) +
           " is a symbolic link that another user made in a shared directory (sticky and "
           "writable by all): it is not followed; remove it or write elsewhere.";
}
