// Opening files: inputs that must be regular files, an import's input, a
// daily weather file, a file to be written over, an unnamed file to stream
// an output into.
#pragma once

#include "fd.h"
#include "result.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace os {

// An input that must be a regular file, opened without waiting on a pipe
// or a device; writable, also for writing where it may be written (else
// write_errno says why not). A FIFO, a device or a socket fails as "not a
// regular file", a directory with EISDIR.
struct regular_file {
    os::fd file;
    int write_errno = 0;
    struct stat status = {};
};
result<regular_file> open_regular(const std::string &path, bool writable = false);

// An input of any kind for reading, as the user names it: a regular file,
// a pipe (waited for), a device, a directory (whose reading fails).
result<os::fd> open_input(const std::string &path);

// A file to be written over from its start without emptying it first (a
// file emptied and written again costs the file system more). A link is
// followed only where the kernel's protected_symlinks would: one another
// user planted fails with EPERM.
result<os::fd> open_for_overwrite(const std::string &path, bool create);

// A file without a name in the directory of path, read and written, to
// stream an output into before it is put in place.
result<out_stream> open_unnamed_beside(const std::string &path);

// The checked open of both programs: opens path with a stdio mode; flag is
// 0 on success, 1 on failure (errno tells why). A directory opened for
// reading counts as a failure (EISDIR).
FILE *efopen(const char *path, const char *mode, int *flag);

// A descriptor 0 to 2 left closed by whoever started the process would be
// taken by the next file opened, and messages written there would go into
// that file: /dev/null takes its place, read-only, so that a message
// written there fails as it would on the closed descriptor. The failure
// when it cannot.
os::result<void> fill_standard_descriptors();

} // namespace os
