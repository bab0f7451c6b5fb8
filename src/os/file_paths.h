// Paths and the files they name: directory and base name, where a link
// leads, which file a path or a descriptor is, and links another user
// planted.
#pragma once

#include "result.h"

#include <string>
#include <sys/stat.h>

namespace os {

// The directory part of a path ("." for none) and the name after it.
std::string dir_of(const std::string &path);
std::string base_of(const std::string &path);

// The file a link leads to, through further links, or the name a write
// through it would create (path itself when it is no link).
std::string link_target(std::string path);

// Whether anything is at path (a file, a link, a directory), or it cannot
// be told: false only when the name is free.
bool name_taken(const char *path);

// Device and inode: which file a path names, through links and "..".
struct file_id {
    unsigned long long dev = 0, ino = 0;
    bool operator==(const file_id &) const = default;
};
os::result<file_id> id_of_fd(int fd);
file_id id_of_status(const struct stat &st);

// Why a link at path must not be followed: it lies in a directory that is
// sticky and writable by all, and neither the runner nor the directory's
// owner made it (the rule of the kernel's protected_symlinks). Empty when
// path is no such link.
std::string planted_link(const std::string &path);

// What stat and lstat say of a path.
result<struct stat> status_of(const std::string &path);
result<struct stat> link_status_of(const std::string &path);

// A directory made (with the usual permissions) or removed.
result<void> make_directory(const std::string &path);
result<void> remove_directory(const std::string &path);

// Whether files can be made in dir: a directory its user may write and
// search (ENOTDIR for anything else).
result<void> may_create_in(const std::string &dir);

} // namespace os
