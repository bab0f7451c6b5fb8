// Opening files.
#include "open.h"
#include "file_paths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE *efopen(const char *path, const char *mode, int *flag) {
    *flag = 0;
    FILE *fp = std::fopen(path, mode);
    if (fp == nullptr) {
        *flag = 1;
        return nullptr;
    }
    // fopen accepts a directory for reading; its first read would fail.
    struct stat st;
    if (mode[0] == 'r' && fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(fp);
        errno = EISDIR;
        *flag = 1;
        return nullptr;
    }
    return fp;
}

FILE *efopen(const std::string &path, const char *mode, int *flag) {
    // The system would cut the name at the NUL and open another file.
    if (path.find('\0') != std::string::npos) {
        *flag = 1;
        errno = EINVAL;
        return nullptr;
    }
    return efopen(path.c_str(), mode, flag);
}

int open_regular(const std::string &path, std::string &why, int *write_errno, struct stat *status) {
    if (path.find('\0') != std::string::npos) {
        why = std::strerror(EINVAL);
        return -1;
    }
    // Non-blocking, so that opening a pipe does not wait for a writer.
    const int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = -1;
    if (write_errno != nullptr) {
        fd = open(path.c_str(), O_RDWR | flags);
        *write_errno = fd < 0 ? errno : 0;
        if (fd < 0 && errno != EACCES && errno != EROFS && errno != ETXTBSY && errno != EPERM) {
            why = std::strerror(errno);
            return -1;
        }
    }
    if (fd < 0)
        fd = open(path.c_str(), O_RDONLY | flags);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        close(fd);
        return -1;
    }
    if (status != nullptr)
        *status = st;
    return fd; // O_NONBLOCK changes nothing for a regular file
}

int open_weather_fd(const std::string &path, std::string &why, file_id &id) {
    struct stat st;
    const int fd = open_regular(path, why, nullptr, &st);
    if (fd >= 0)
        id = id_of_status(st);
    return fd;
}

int open_for_overwrite(const std::string &path, bool create) {
    if (path.find('\0') != std::string::npos) {
        errno = EINVAL;
        return -1;
    }
    const int flags = O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0);
    int fd = open(path.c_str(), flags | O_NOFOLLOW, 0666);
    // A link is followed only where the kernel's protected_symlinks would.
    if (fd < 0 && errno == ELOOP) {
        if (!planted_link(path).empty()) {
            errno = EPERM;
            return -1;
        }
        fd = open(path.c_str(), flags, 0666);
    }
    return fd;
}

FILE *open_unnamed_beside(const std::string &path, int &err) {
    const std::string dir = dir_of(path);
    int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && errno != ENOENT && errno != ENOTDIR && errno != EACCES && errno != EROFS) {
        // A file system without unnamed files: a named one, removed at once.
        std::string temp = dir + "/.siteprep-XXXXXX";
        fd = mkostemp(temp.data(), O_CLOEXEC);
        if (fd >= 0)
            unlink(temp.c_str());
    }
    FILE *fp = fd >= 0 ? fdopen(fd, "w+") : nullptr;
    err = fp != nullptr ? 0 : errno;
    if (fp == nullptr && fd >= 0)
        close(fd);
    return fp;
}

bool fill_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int opened = open("/dev/null", O_RDONLY);
        if (opened != fd) {
            if (opened >= 0)
                close(opened);
            return false;
        }
    }
    return true;
}
