// Opening files: inputs that must be regular files, a daily weather file,
// a file to be written over, an unnamed file to stream an output into.
#pragma once

#include <cstdio>
#include <string>

struct stat;
struct file_id;

// Opens path with a stdio mode; flag is 0 on success, 1 on failure (errno
// tells why). A directory opened for reading counts as a failure (EISDIR),
// and so does a path holding a NUL byte (EINVAL).
FILE *efopen(const char *path, const char *mode, int *flag);
FILE *efopen(const std::string &path, const char *mode, int *flag);

// Opens an input that must be a regular file, without waiting on a pipe or
// a device; -1 with why set on failure. With write_errno, opens it for
// writing too where it may be written, else sets the errno that says why not.
// With st, the file's status is left there.
int open_regular(const std::string &path, std::string &why, int *write_errno = nullptr,
                 struct stat *st = nullptr);

// A daily weather file opened as a regular file's descriptor (read by a
// line_reader of it), and which file it is, for the caller to compare with
// the site file; -1 with why set on failure.
int open_weather_fd(const std::string &path, std::string &why, file_id &id);

// Opens a file to be written over from its start without emptying it first
// (a file emptied and written again costs the file system more): its
// descriptor, or -1 with errno set.
int open_for_overwrite(const std::string &path, bool create);

// A file without a name, in the directory of path, to stream an output
// into before it is put in place; nullptr with err set on failure.
FILE *open_unnamed_beside(const std::string &path, int &err);

// A descriptor 0 to 2 left closed by whoever started the process would be
// taken by the next file opened, and messages written there would go into
// that file: /dev/null takes its place, read-only, so that a message
// written there fails as it would on the closed descriptor. False when it
// cannot.
bool fill_standard_descriptors();
