// The guard's engine: which file a path names, through links, and the
// collisions among files a job reads and writes, found before anything is
// written.
#pragma once

#include <compare>
#include <string>
#include <vector>

// Which file a path names: the file it reaches through links, or, for one
// not there yet, the directory and name it would be created as.
struct file_key {
    unsigned long long dev = 0, ino = 0;
    std::string name; // empty for a file that exists
    auto operator<=>(const file_key &) const = default;
};

// The key of a file that is there; false when it is not (errno says why)
// or its path holds a NUL byte.
bool existing_key(const std::string &path, file_key &key);
// The key of a file to be written; a dangling link is followed to the
// name that writing through it would create.
bool output_key(const std::string &path, file_key &key);

// A file of a job other than the batch (the importer's inputs and
// outputs), with what it is to the job, as messages name it.
struct guarded_file {
    std::string path;
    std::string role; // "the daily file of x.csv", "the --stations file", ...
    bool written = false;
};

// The guard of such a job: every output checked against every input
// and every other output, and against planted links; each collision a
// message naming both files and their roles, in the order of files.
std::vector<std::string> guard_files(const std::vector<guarded_file> &files);
