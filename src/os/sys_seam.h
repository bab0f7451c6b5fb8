// What the seam's test build knows the system's functions by, and the
// question it asks before each call: the functions' names, the file a call
// is made on, what to do with the call. sys.cpp asks it (built for the
// tests; the programs' seam makes every call), and sys_faults.cpp answers
// it from the faults planned, naming a call's file through file_name_of,
// which is sys.cpp's as it names the system's functions. Declared apart
// from both, so that neither includes the other.
#pragma once

#include <cstdio>
#include <string>

namespace os::sys {

// The functions, for a test build to name the one that fails.
enum class call : unsigned char {
    open,
    openat,
    read,
    pread,
    write,
    pwrite,
    lseek,
    fsync,
    fdatasync,
    ftruncate,
    close,
    dup,
    fcntl,
    flock,
    fstat,
    stat,
    lstat,
    access,
    readlink,
    realpath,
    rename,
    link,
    unlink,
    mkdir,
    rmdir,
    fchmod,
    mkostemp,
    isatty,
    fopen,
    fdopen,
    fclose,
    fflush,
    fread,
    fwrite,
    vfprintf,
    fmemopen,
    open_memstream,
    pthread_create,
};
inline constexpr int calls = static_cast<int>(call::pthread_create) + 1;

// A fault makes a transfer (read, pread, write, pwrite, fread, fwrite)
// move fewer bytes than asked instead of failing: half of them, at least
// one.
inline constexpr int short_transfer = -1;

// The seam's own question on each call: what to do with the call being
// made now on the file named by one of path, descriptor or stream.
struct file_ref {
    const char *path = nullptr;
    int fd = -1;
    FILE *stream = nullptr;
};
struct injection {
    int err = 0;    // fail with this errno (short_transfer: a short one); 0: make the call
    int signal = 0; // a signal to send the process first; 0: none
};
injection injected(call fn, const file_ref &file);
// The name of the file a reference names, as the trace and the plans see
// it (the seam's, as it asks the system).
std::string file_name_of(const file_ref &file);

// The user geteuid says the process runs as (pretend_user); negative: the
// real one.
long pretended_user();

} // namespace os::sys
