// Small operations on files by descriptor and by name.
#include "files.h"
#include "file_paths.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

int create_exclusive(const std::string &path, unsigned mode) {
    return open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

int create_new(const std::string &path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

int write_text(int fd, std::string_view text) {
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

int sync_fd(int fd) {
    return fsync(fd) != 0 ? errno : 0;
}

size_t size_of_open_file(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 ? static_cast<size_t>(st.st_size) : SIZE_MAX;
}

bool try_lock(int fd) {
    return flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

void wait_for_lock(int fd) {
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

int remove_if_still(const std::string &path, int fd) {
    struct stat named, ours;
    if (lstat(path.c_str(), &named) != 0)
        return errno;
    if (fstat(fd, &ours) != 0 || named.st_dev != ours.st_dev || named.st_ino != ours.st_ino)
        return -1;
    return unlink(path.c_str()) != 0 ? errno : 0;
}

int rename_over(const std::string &from, const std::string &to) {
    return rename(from.c_str(), to.c_str()) != 0 ? errno : 0;
}

int remove_name(const std::string &path) {
    return unlink(path.c_str()) != 0 ? errno : 0;
}

void remove_if_regular(const std::string &path) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        unlink(path.c_str());
}

std::string why_not_writable(const std::string &path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return std::strerror(EISDIR);
        if (!S_ISREG(st.st_mode))
            return "not a regular file";
        if (access(path.c_str(), W_OK) != 0)
            return std::strerror(errno);
    } else if (errno != ENOENT || access(dir_of(path).c_str(), W_OK | X_OK) != 0) {
        return std::strerror(errno);
    }
    return std::string();
}

int can_create_in(const std::string &dir) {
    return access(dir.c_str(), W_OK | X_OK) != 0 ? errno : 0;
}

bool is_directory(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int close_fd(int fd) {
    return close(fd) != 0 ? errno : 0;
}
