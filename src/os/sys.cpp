// The system's functions, each called here. In the programs each passes
// its call on and costs a jump; built for the tests (SITEPREP_SYS_FAULTS),
// each first asks whether this call is one to fail, naming the file it is
// made on.
#include "sys.h"
#include "sys_seam.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os::sys {

namespace {

// The file a call is made on, for a test build's question.
file_ref on_path(const char *path) {
    return {path, -1, nullptr};
}
file_ref on_fd(int fd) {
    return {nullptr, fd, nullptr};
}
file_ref on_stream(FILE *stream) {
    return {nullptr, -1, stream};
}

// What to do with the call being made now: in the programs' seam, make
// it.
#ifdef SITEPREP_SYS_FAULTS
injection fault_now(call fn, const file_ref &file) {
    const injection planned = injected(fn, file);
    if (planned.signal != 0)
        ::kill(::getpid(), planned.signal);
    return planned;
}
#else
constexpr injection fault_now(call, const file_ref &) {
    return {};
}
#endif

// Whether the call may go on; false with errno set when it is to fail.
bool may_call(call fn, const file_ref &file = {}) {
    const int err = fault_now(fn, file).err;
    if (err == 0 || err == short_transfer)
        return true;
    errno = err;
    return false;
}

// The same for a transfer, whose size a short one cuts.
bool may_transfer(call fn, const file_ref &file, size_t &size) {
    const int err = fault_now(fn, file).err;
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

#ifdef SITEPREP_SYS_FAULTS
std::string file_name_of(const file_ref &file) {
    if (file.path != nullptr)
        return file.path;
    const int fd = file.stream != nullptr ? ::fileno(file.stream) : file.fd;
    if (fd < 0)
        return std::string();
    char name[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), name, sizeof name);
    return n > 0 ? std::string(name, static_cast<size_t>(n)) : std::string();
}
#endif

int open(const char *path, int flags, mode_t mode) {
    return may_call(call::open, on_path(path)) ? ::open(path, flags, mode) : -1;
}

int openat(int dir, const char *path, int flags, mode_t mode) {
    return may_call(call::openat, on_path(path)) ? ::openat(dir, path, flags, mode) : -1;
}

ssize_t read(int fd, void *buffer, size_t size) {
    return may_transfer(call::read, on_fd(fd), size) ? ::read(fd, buffer, size) : -1;
}

ssize_t pread(int fd, void *buffer, size_t size, off_t offset) {
    return may_transfer(call::pread, on_fd(fd), size) ? ::pread(fd, buffer, size, offset) : -1;
}

ssize_t write(int fd, const void *data, size_t size) {
    return may_transfer(call::write, on_fd(fd), size) ? ::write(fd, data, size) : -1;
}

ssize_t pwrite(int fd, const void *data, size_t size, off_t offset) {
    return may_transfer(call::pwrite, on_fd(fd), size) ? ::pwrite(fd, data, size, offset) : -1;
}

off_t lseek(int fd, off_t offset, int whence) {
    return may_call(call::lseek, on_fd(fd)) ? ::lseek(fd, offset, whence) : -1;
}

int fsync(int fd) {
    return may_call(call::fsync, on_fd(fd)) ? ::fsync(fd) : -1;
}

int fdatasync(int fd) {
    return may_call(call::fdatasync, on_fd(fd)) ? ::fdatasync(fd) : -1;
}

int ftruncate(int fd, off_t length) {
    return may_call(call::ftruncate, on_fd(fd)) ? ::ftruncate(fd, length) : -1;
}

int close(int fd) {
    if (may_call(call::close, on_fd(fd)))
        return ::close(fd);
    const int err = errno;
    ::close(fd);
    errno = err;
    return -1;
}

int dup(int fd) {
    return may_call(call::dup, on_fd(fd)) ? ::dup(fd) : -1;
}

int fcntl(int fd, int command, int argument) {
    return may_call(call::fcntl, on_fd(fd)) ? ::fcntl(fd, command, argument) : -1;
}

int flock(int fd, int operation) {
    return may_call(call::flock, on_fd(fd)) ? ::flock(fd, operation) : -1;
}

int fstat(int fd, struct stat *status) {
    return may_call(call::fstat, on_fd(fd)) ? ::fstat(fd, status) : -1;
}

int stat(const char *path, struct stat *status) {
    return may_call(call::stat, on_path(path)) ? ::stat(path, status) : -1;
}

int lstat(const char *path, struct stat *status) {
    return may_call(call::lstat, on_path(path)) ? ::lstat(path, status) : -1;
}

int access(const char *path, int mode) {
    return may_call(call::access, on_path(path)) ? ::access(path, mode) : -1;
}

ssize_t readlink(const char *path, char *to, size_t size) {
    return may_call(call::readlink, on_path(path)) ? ::readlink(path, to, size) : -1;
}

char *realpath(const char *path) {
    return may_call(call::realpath, on_path(path)) ? ::realpath(path, nullptr) : nullptr;
}

int rename(const char *from, const char *to) {
    return may_call(call::rename, on_path(from)) ? ::rename(from, to) : -1;
}

int link(const char *from, const char *to) {
    return may_call(call::link, on_path(from)) ? ::link(from, to) : -1;
}

int link_descriptor(int fd, const char *to) {
    if (!may_call(call::link, on_path(to)))
        return -1;
    char from[64];
    std::snprintf(from, sizeof from, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, from, AT_FDCWD, to, AT_SYMLINK_FOLLOW);
}

int unlink(const char *path) {
    return may_call(call::unlink, on_path(path)) ? ::unlink(path) : -1;
}

int mkdir(const char *path, mode_t mode) {
    return may_call(call::mkdir, on_path(path)) ? ::mkdir(path, mode) : -1;
}

int rmdir(const char *path) {
    return may_call(call::rmdir, on_path(path)) ? ::rmdir(path) : -1;
}

int fchmod(int fd, mode_t mode) {
    return may_call(call::fchmod, on_fd(fd)) ? ::fchmod(fd, mode) : -1;
}

int mkostemp(char *path_template, int flags) {
    return may_call(call::mkostemp, on_path(path_template)) ? ::mkostemp(path_template, flags) : -1;
}

int isatty(int fd) {
    return may_call(call::isatty, on_fd(fd)) ? ::isatty(fd) : 0;
}

mode_t umask(mode_t mask) {
    return ::umask(mask);
}

uid_t geteuid() {
#ifdef SITEPREP_SYS_FAULTS
    if (const long uid = pretended_user(); uid >= 0)
        return static_cast<uid_t>(uid);
#endif
    return ::geteuid();
}

pid_t getpid() {
    return ::getpid();
}

int gethostname(char *name, size_t size) {
    return ::gethostname(name, size);
}

int getrlimit(int resource, struct rlimit *limit) {
    return ::getrlimit(static_cast<__rlimit_resource_t>(resource), limit);
}

FILE *fopen(const char *path, const char *mode) {
    return may_call(call::fopen, on_path(path)) ? ::fopen(path, mode) : nullptr;
}

FILE *fdopen(int fd, const char *mode) {
    return may_call(call::fdopen, on_fd(fd)) ? ::fdopen(fd, mode) : nullptr;
}

int fclose(FILE *stream) {
    if (may_call(call::fclose, on_stream(stream)))
        return ::fclose(stream);
    const int err = errno;
    ::fclose(stream);
    errno = err;
    return EOF;
}

int fflush(FILE *stream) {
    return may_call(call::fflush, on_stream(stream)) ? ::fflush(stream) : EOF;
}

// A short fread or fwrite moves fewer items (the programs move bytes).
size_t fread(void *buffer, size_t size, size_t count, FILE *stream) {
    return may_transfer(call::fread, on_stream(stream), count)
               ? ::fread(buffer, size, count, stream)
               : 0;
}

size_t fwrite(const void *data, size_t size, size_t count, FILE *stream) {
    return may_transfer(call::fwrite, on_stream(stream), count)
               ? ::fwrite(data, size, count, stream)
               : 0;
}

int vfprintf(FILE *stream, const char *format, va_list arguments) {
    return may_call(call::vfprintf, on_stream(stream)) ? ::vfprintf(stream, format, arguments) : -1;
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

int fileno(FILE *stream) {
    return ::fileno(stream);
}

bool ferror(FILE *stream) {
    return ::ferror(stream) != 0;
}

int pthread_create(pthread_t *thread, void *(*body)(void *), void *argument) {
    const int err = fault_now(call::pthread_create, {}).err;
    return err != 0 ? err : ::pthread_create(thread, nullptr, body, argument);
}

int pthread_join(pthread_t thread) {
    return ::pthread_join(thread, nullptr);
}

pthread_t pthread_self() {
    return ::pthread_self();
}

int pthread_setaffinity_np(pthread_t thread, const cpu_set_t &cores) {
    return ::pthread_setaffinity_np(thread, sizeof cores, &cores);
}

int sched_getaffinity(cpu_set_t &cores) {
    return ::sched_getaffinity(0, sizeof cores, &cores);
}

int sched_getcpu() {
    return ::sched_getcpu();
}

int sigaction(int signal, const struct sigaction *action, struct sigaction *before) {
    return ::sigaction(signal, action, before);
}

int pthread_sigmask(int how, const sigset_t *set, sigset_t *before) {
    return ::pthread_sigmask(how, set, before);
}

int signal_process(int signal) {
    return ::kill(::getpid(), signal);
}

} // namespace os::sys
