// The system's functions, each called here. In the programs each passes
// its call on and costs a jump; built for the tests (SITEPREP_SYS_FAULTS),
// each first asks whether this call is one to fail.
#include "sys.h"
#include "sys_faults.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os::sys {

namespace {

// The errno the call being made now is to fail with, or 0: never, in the
// programs' seam.
#ifdef SITEPREP_SYS_FAULTS
int fault_now(call fn) {
    return injected(fn);
}
#else
constexpr int fault_now(call) {
    return 0;
}
#endif

// Whether the call may go on; false with errno set when it is to fail.
bool may_call(call fn) {
    const int err = fault_now(fn);
    if (err == 0 || err == short_transfer)
        return true;
    errno = err;
    return false;
}

// The same for a transfer, whose size a short one cuts.
bool may_transfer(call fn, size_t &size) {
    const int err = fault_now(fn);
    if (err == short_transfer) {
        size = size > 1 ? size / 2 : size;
        return true;
    }
    if (err == 0)
        return true;
    errno = err;
    return false;
}

} // namespace

int open(const char *path, int flags, mode_t mode) {
    return may_call(call::open) ? ::open(path, flags, mode) : -1;
}

int openat(int dir, const char *path, int flags, mode_t mode) {
    return may_call(call::openat) ? ::openat(dir, path, flags, mode) : -1;
}

ssize_t read(int fd, void *buffer, size_t size) {
    return may_transfer(call::read, size) ? ::read(fd, buffer, size) : -1;
}

ssize_t pread(int fd, void *buffer, size_t size, off_t offset) {
    return may_transfer(call::pread, size) ? ::pread(fd, buffer, size, offset) : -1;
}

ssize_t write(int fd, const void *data, size_t size) {
    return may_transfer(call::write, size) ? ::write(fd, data, size) : -1;
}

ssize_t pwrite(int fd, const void *data, size_t size, off_t offset) {
    return may_transfer(call::pwrite, size) ? ::pwrite(fd, data, size, offset) : -1;
}

off_t lseek(int fd, off_t offset, int whence) {
    return may_call(call::lseek) ? ::lseek(fd, offset, whence) : -1;
}

int fsync(int fd) {
    return may_call(call::fsync) ? ::fsync(fd) : -1;
}

int fdatasync(int fd) {
    return may_call(call::fdatasync) ? ::fdatasync(fd) : -1;
}

int ftruncate(int fd, off_t length) {
    return may_call(call::ftruncate) ? ::ftruncate(fd, length) : -1;
}

int close(int fd) {
    if (may_call(call::close))
        return ::close(fd);
    const int err = errno;
    ::close(fd);
    errno = err;
    return -1;
}

int dup(int fd) {
    return may_call(call::dup) ? ::dup(fd) : -1;
}

int fcntl(int fd, int command, int argument) {
    return may_call(call::fcntl) ? ::fcntl(fd, command, argument) : -1;
}

int flock(int fd, int operation) {
    return may_call(call::flock) ? ::flock(fd, operation) : -1;
}

int fstat(int fd, struct stat *status) {
    return may_call(call::fstat) ? ::fstat(fd, status) : -1;
}

int stat(const char *path, struct stat *status) {
    return may_call(call::stat) ? ::stat(path, status) : -1;
}

int lstat(const char *path, struct stat *status) {
    return may_call(call::lstat) ? ::lstat(path, status) : -1;
}

int access(const char *path, int mode) {
    return may_call(call::access) ? ::access(path, mode) : -1;
}

ssize_t readlink(const char *path, char *to, size_t size) {
    return may_call(call::readlink) ? ::readlink(path, to, size) : -1;
}

char *realpath(const char *path) {
    return may_call(call::realpath) ? ::realpath(path, nullptr) : nullptr;
}

int rename(const char *from, const char *to) {
    return may_call(call::rename) ? ::rename(from, to) : -1;
}

int link(const char *from, const char *to) {
    return may_call(call::link) ? ::link(from, to) : -1;
}

int unlink(const char *path) {
    return may_call(call::unlink) ? ::unlink(path) : -1;
}

int mkdir(const char *path, mode_t mode) {
    return may_call(call::mkdir) ? ::mkdir(path, mode) : -1;
}

int rmdir(const char *path) {
    return may_call(call::rmdir) ? ::rmdir(path) : -1;
}

int fchmod(int fd, mode_t mode) {
    return may_call(call::fchmod) ? ::fchmod(fd, mode) : -1;
}

int mkostemp(char *path_template, int flags) {
    return may_call(call::mkostemp) ? ::mkostemp(path_template, flags) : -1;
}

int isatty(int fd) {
    return may_call(call::isatty) ? ::isatty(fd) : 0;
}

mode_t umask(mode_t mask) {
    return ::umask(mask);
}

uid_t geteuid() {
    return ::geteuid();
}

FILE *fopen(const char *path, const char *mode) {
    return may_call(call::fopen) ? ::fopen(path, mode) : nullptr;
}

FILE *fdopen(int fd, const char *mode) {
    return may_call(call::fdopen) ? ::fdopen(fd, mode) : nullptr;
}

int fclose(FILE *stream) {
    if (may_call(call::fclose))
        return ::fclose(stream);
    const int err = errno;
    ::fclose(stream);
    errno = err;
    return EOF;
}

int fflush(FILE *stream) {
    return may_call(call::fflush) ? ::fflush(stream) : EOF;
}

// A short fread or fwrite moves fewer items (the programs move bytes).
size_t fread(void *buffer, size_t size, size_t count, FILE *stream) {
    return may_transfer(call::fread, count) ? ::fread(buffer, size, count, stream) : 0;
}

size_t fwrite(const void *data, size_t size, size_t count, FILE *stream) {
    return may_transfer(call::fwrite, count) ? ::fwrite(data, size, count, stream) : 0;
}

int vfprintf(FILE *stream, const char *format, va_list arguments) {
    return may_call(call::vfprintf) ? ::vfprintf(stream, format, arguments) : -1;
}

FILE *fmemopen(void *buffer, size_t size, const char *mode) {
    return may_call(call::fmemopen) ? ::fmemopen(buffer, size, mode) : nullptr;
}

FILE *open_memstream(char **text, size_t *size) {
    return may_call(call::open_memstream) ? ::open_memstream(text, size) : nullptr;
}

void rewind(FILE *stream) {
    ::rewind(stream);
}

} // namespace os::sys
