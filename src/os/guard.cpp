// The guard's engine: files keyed by device and inode through links, and
// the collisions of a job's outputs with its inputs and with each other.
#include "guard.h"
#include "file_paths.h"
#include "shown.h"
#include "sys.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <sys/stat.h>

bool existing_key(const std::string &path, file_key &key) {
    struct stat st;
    if (path.find('\0') != std::string::npos || os::sys::stat(path.c_str(), &st) != 0)
        return false;
    key = {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
           std::string()};
    return true;
}

// The key of a file to be written; a dangling link is followed to the
// name that writing through it would create.
bool output_key(const std::string &path, file_key &key) {
    if (existing_key(path, key))
        return true;
    if (errno != ENOENT || path.find('\0') != std::string::npos)
        return false;
    const std::string target = link_target(path);
    if (!existing_key(dir_of(target), key))
        return false;
    key.name = base_of(target);
    return true;
}

namespace {

std::string file_collision(const guarded_file &writer, const guarded_file &other) {
    const std::string path = shown_name(writer.path), other_path = shown_name(other.path);
    if (other_path == path)
        return path + " is " + other.role + " and " + writer.role +
               " at once: the one would destroy the other.";
    if (other.written)
        return path + " and " + other_path + " name the same file: " + writer.role + " and " +
               other.role + " would overwrite each other.";
    return path + " is the same file as " + other_path + ": writing " + writer.role +
           " would destroy " + other.role + ".";
}

} // namespace

std::vector<std::string> guard_files(const std::vector<guarded_file> &files) {
    std::vector<std::pair<file_key, uint32_t>> keyed;
    for (uint32_t i = 0; i < files.size(); ++i) {
        file_key key;
        if (files[i].written ? output_key(files[i].path, key) : existing_key(files[i].path, key))
            keyed.emplace_back(std::move(key), i);
    }
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::pair<uint32_t, std::string>> found; // first file, message
    for (size_t i = 0; i < keyed.size();) {
        size_t j = i, writer = keyed.size();
        for (; j < keyed.size() && keyed[j].first == keyed[i].first; ++j)
            if (writer == keyed.size() && files[keyed[j].second].written)
                writer = j;
        if (writer != keyed.size() && j - i > 1) {
            const size_t other = writer == i ? i + 1 : i;
            found.emplace_back(keyed[i].second, file_collision(files[keyed[writer].second],
                                                               files[keyed[other].second]));
        }
        i = j;
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> messages;
    for (auto &f : found)
        messages.push_back(std::move(f.second));
    for (const guarded_file &f : files)
        if (f.written)
            if (std::string why = planted_link(f.path); !why.empty())
                messages.push_back(std::move(why));
    return messages;
}
