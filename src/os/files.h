// Small operations on files by descriptor and by name: a file created
// exclusively, synced, its size, a lock, a name removed only while it
// still names the file opened there, what may be written where.
#pragma once

#include "fd.h"
#include "result.h"

#include <cstddef>
#include <string>

namespace os {

// Creates a new file for reading and writing with the given permission
// bits, never reusing an existing file or following a link.
result<os::fd> create_exclusive(const std::string &path, unsigned mode);

// Syncs an open file to the disk.
result<void> sync(const os::fd &file);

// An open file's size; unknown is as long as can be.
size_t size_of(const os::fd &file);

// Takes an exclusive lock on an open file without waiting: false only when
// another holds it (a file system without locks takes any).
bool try_lock(const os::fd &file);
// Waits for the lock another holds.
void wait_for_lock(const os::fd &file);

// Removes the name path while it still names the file open as file: true
// when it did, false when the name has come to stand for another file,
// which is not ours to remove.
result<bool> remove_if_still(const std::string &path, const os::fd &file);

// Removes path when it names a regular file (no link, no directory);
// nothing is said of a failure.
void remove_if_regular(const std::string &path);

// Whether a file could be written over at path: a regular file this
// process may write, or none and a directory that takes a new one. The
// failure's reason is the system's, or "not a regular file".
result<void> may_write_over(const std::string &path);

// Whether path names a directory (through links).
bool is_directory(const std::string &path);

} // namespace os
