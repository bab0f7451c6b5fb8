// The system's functions that the programs call, each named here and
// nowhere else: every other file reaches the system through these. They
// do what the function of the same name does; a test build can make any
// of them fail (sys_faults.h), so that the tests meet a full disk, a lost
// permission or a failed sync without root, a tracer or a size limit. Each
// is known to a test build by its name in sys_seam.h.
#pragma once

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <pthread.h>
#include <sched.h>
#include <sys/types.h>

struct stat;
struct rlimit;

namespace os::sys {

int open(const char *path, int flags, mode_t mode = 0);
int openat(int dir, const char *path, int flags, mode_t mode = 0);
ssize_t read(int fd, void *buffer, size_t size);
ssize_t pread(int fd, void *buffer, size_t size, off_t offset);
ssize_t write(int fd, const void *data, size_t size);
ssize_t pwrite(int fd, const void *data, size_t size, off_t offset);
off_t lseek(int fd, off_t offset, int whence);
int fsync(int fd);
int fdatasync(int fd);
int ftruncate(int fd, off_t length);
// A close that fails has closed the descriptor all the same (Linux).
int close(int fd);
int dup(int fd);
int fcntl(int fd, int command, int argument = 0);
int flock(int fd, int operation);
int fstat(int fd, struct stat *status);
int stat(const char *path, struct stat *status);
int lstat(const char *path, struct stat *status);
int access(const char *path, int mode);
ssize_t readlink(const char *path, char *to, size_t size);
// The resolved path in memory malloc gave, or nullptr.
char *realpath(const char *path);
int rename(const char *from, const char *to);
int link(const char *from, const char *to);
// link for an open file, an unnamed one too (through /proc/self/fd): a
// link's failure as the tests make it.
int link_descriptor(int fd, const char *to);
int unlink(const char *path);
int mkdir(const char *path, mode_t mode);
int rmdir(const char *path);
int fchmod(int fd, mode_t mode);
int mkostemp(char *path_template, int flags);
int isatty(int fd);
// Those that cannot fail, or whose failure changes nothing the programs
// do, and so are never made to.
mode_t umask(mode_t mask);
uid_t geteuid();
pid_t getpid();
int gethostname(char *name, size_t size);
int getrlimit(int resource, struct rlimit *limit);

FILE *fopen(const char *path, const char *mode);
FILE *fdopen(int fd, const char *mode);
// A stream whose close fails is closed all the same.
int fclose(FILE *stream);
int fflush(FILE *stream);
size_t fread(void *buffer, size_t size, size_t count, FILE *stream);
size_t fwrite(const void *data, size_t size, size_t count, FILE *stream);
int vfprintf(FILE *stream, const char *format, va_list arguments);
FILE *fmemopen(void *buffer, size_t size, const char *mode);
FILE *open_memstream(char **text, size_t *size);
// Back to a stream's start; it cannot fail.
void rewind(FILE *stream);
// A stream's descriptor (-1 for one over memory) and its error flag.
int fileno(FILE *stream);
bool ferror(FILE *stream);

// Threads: started (with pthread_create's result, an errno), joined,
// placed on cores; the cores the process may use, and the one the caller
// runs on (-1: unknown).
int pthread_create(pthread_t *thread, void *(*body)(void *), void *argument);
int pthread_join(pthread_t thread);
pthread_t pthread_self();
int pthread_setaffinity_np(pthread_t thread, const cpu_set_t &cores);
int sched_getaffinity(cpu_set_t &cores);
int sched_getcpu();

// Signals: a handler set, the calling thread's mask, a signal sent to the
// process itself.
int sigaction(int signal, const struct sigaction *action, struct sigaction *before);
int pthread_sigmask(int how, const sigset_t *set, sigset_t *before);
// The signal sent to the process, which the kernel gives to a thread that
// does not block it (a worker thread blocks them all).
int signal_process(int signal);

} // namespace os::sys
