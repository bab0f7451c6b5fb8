// Small operations on files by descriptor and by name: a file created
// exclusively, written whole, its size, a lock, a name removed only while
// it still names the file opened there, a descriptor closed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Creates a new file for reading and writing, never reusing an existing
// file or following a link; its descriptor, or -1 with errno set.
int create_exclusive(const std::string &path, unsigned mode);

// Creates a new file for writing alone, never reusing an existing one;
// its descriptor, or -1 with errno set. Async-signal-safe.
int create_new(const std::string &path);

// Writes all of text to a descriptor from where it stands; 0 or the errno.
int write_text(int fd, std::string_view text);

// Syncs an open file to the disk; 0 or the errno.
int sync_fd(int fd);

// An open file's size; unknown is as long as can be.
size_t size_of_open_file(int fd);

// Takes an exclusive lock on an open file without waiting: false only when
// another holds it (a file system without locks takes any).
bool try_lock(int fd);
// Waits for the lock another holds.
void wait_for_lock(int fd);

// Removes the name path while it still names the file open as fd; 0, the
// errno of a failure, or -1 when the name has come to stand for another
// file, which is not ours to remove.
int remove_if_still(const std::string &path, int fd);

// Renames from over to (0 or the errno), removes a name (0 or the errno).
// Async-signal-safe, as are write_text, sync_fd and close_fd.
int rename_over(const std::string &from, const std::string &to);
int remove_name(const std::string &path);

// Removes path when it names a regular file (no link, no directory);
// nothing is said of a failure.
void remove_if_regular(const std::string &path);

// Why a file could not be written over at path: empty when it is a
// regular file this process may write, or there is none and its directory
// takes a new one; else the reason (the system's, or "not a regular file").
std::string why_not_writable(const std::string &path);
// Whether this process may create files in a directory; 0 or the errno.
int can_create_in(const std::string &dir);

// Whether path names a directory (through links).
bool is_directory(const std::string &path);

// Closes a descriptor; 0 or the errno of a failure.
int close_fd(int fd);
