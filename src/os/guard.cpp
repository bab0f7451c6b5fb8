// The guard's engine: files keyed by device and inode through links, and
// the collisions of a job's outputs with its inputs and with each other.
#include "guard.h"
#include "file_paths.h"
#include "shown.h"
#include "sys.h"

#include <algorithm>
#include <cerrno>
#include <compare>
#include <cstdint>
#include <sys/stat.h>

namespace os {

namespace {

// Which file a path names: the file it reaches through links (its device
// and inode), or, for one not there yet, the directory it would be created
// in and its name there.
struct file_key {
    file_id id;
    std::string name; // empty for a file that exists
    auto operator<=>(const file_key &other) const {
        if (auto order = id.dev <=> other.id.dev; order != 0)
            return order;
        if (auto order = id.ino <=> other.id.ino; order != 0)
            return order;
        return name <=> other.name;
    }
    bool operator==(const file_key &) const = default;
};

// The key of a file that is there; false when it is not (errno says why)
// or its path holds a NUL byte.
bool existing_key(const std::string &path, file_key &key) {
    struct stat st;
    if (path.find('\0') != std::string::npos || os::sys::stat(path.c_str(), &st) != 0)
        return false;
    key = {id_of_status(st), std::string()};
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

// A role as the start of a sentence.
std::string capitalised(std::string role) {
    if (!role.empty() && role[0] >= 'a' && role[0] <= 'z')
        role[0] = static_cast<char>(role[0] - 'a' + 'A');
    return role;
}

std::string file_collision(const guarded_file &writer, const guarded_file &other) {
    const std::string path = shown_name(writer.path), other_path = shown_name(other.path);
    const std::string verb = writer.rewritten ? "rewriting " : "writing ";
    if (other.named_by_role)
        return capitalised(other.role) + " is " + path +
               (other_path != path ? " (" + other_path + ")" : "") + ": " + verb + writer.role +
               " would destroy it.";
    if (other_path == path)
        return path + " is " + other.role + " and " + writer.role +
               " at once: the one would destroy the other.";
    if (other.written)
        return path + " and " + other_path + " name the same file: " + writer.role + " and " +
               other.role + " would overwrite each other.";
    return path + " is the same file as " + other_path + ": " + verb + writer.role +
           " would destroy " + other.role + ".";
}

bool key_of(const guarded_file &f, file_key &key) {
    if (f.open_fd >= 0) {
        const os::result<file_id> id = id_of_fd(f.open_fd);
        if (!id)
            return false;
        key = {*id, std::string()};
        return true;
    }
    return f.written ? output_key(f.path, key) : existing_key(f.path, key);
}

bool is_read(const guarded_file &f) {
    return !f.written && !f.rewritten;
}

} // namespace

std::vector<std::vector<size_t>> same_files(const std::vector<guarded_file> &files) {
    std::vector<std::pair<file_key, size_t>> keyed;
    for (size_t i = 0; i < files.size(); ++i)
        if (file_key key; key_of(files[i], key))
            keyed.emplace_back(std::move(key), i);
    // Sorted by key, the files of one file stand together, in order.
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::vector<size_t>> groups;
    for (size_t i = 0, j = 0; i < keyed.size(); i = j) {
        for (j = i + 1; j < keyed.size() && keyed[j].first == keyed[i].first; ++j) {
        }
        if (j - i < 2)
            continue;
        std::vector<size_t> group;
        for (size_t k = i; k < j; ++k)
            group.push_back(keyed[k].second);
        groups.push_back(std::move(group));
    }
    std::sort(groups.begin(), groups.end());
    return groups;
}

std::string collision_in(const std::vector<guarded_file> &files, const std::vector<size_t> &group,
                         const guard_excuse &excused) {
    const auto clash = [&](size_t writer, size_t other) {
        return writer != other && !(excused && excused(writer, other));
    };
    for (size_t w : group)
        if (files[w].written)
            for (size_t i : group)
                if (clash(w, i))
                    return file_collision(files[w], files[i]);
    for (size_t r : group)
        if (is_read(files[r]))
            for (size_t s : group)
                if (files[s].rewritten && clash(s, r))
                    return file_collision(files[s], files[r]);
    return std::string();
}

std::vector<std::string> guard_files(const std::vector<guarded_file> &files) {
    std::vector<std::string> messages;
    for (const std::vector<size_t> &group : same_files(files))
        if (std::string message = collision_in(files, group); !message.empty())
            messages.push_back(std::move(message));
    for (const guarded_file &f : files)
        if (f.written)
            if (std::string why = planted_link(f.path); !why.empty())
                messages.push_back(std::move(why));
    return messages;
}

} // namespace os
