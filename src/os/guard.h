// The guard's engine: the collisions among files a job reads and writes,
// each file known by which file its path names through links, found
// before anything is written.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace os {

// A file of a job (a batch's or an import's inputs and outputs), with what
// it is to the job, as messages name it.
struct guarded_file {
    std::string path;
    std::string role; // "the daily file of x.csv", "the --stations file", ...
    bool written = false;
    // Read, then written over in place: it must not be a file the job
    // reads ("rewriting ROLE would destroy ..."); an output onto it is the
    // output's collision.
    bool rewritten = false;
    // Named by its role first in messages ("The site list is ..."): the
    // list the job reads its work from.
    bool named_by_role = false;
    // Open already: known by this descriptor rather than by its path.
    int open_fd = -1;
};

// Whether the job may have two of its files be one file: a writer (written
// or rewritten) and another, by their indexes.
using guard_excuse = std::function<bool(size_t writer, size_t other)>;

// The files of a job that are one file, through links: groups of two or
// more indexes, each in order, the groups in the order of their first
// file. A file read that is not there, or whose directory is not, is in
// none.
std::vector<std::vector<size_t>> same_files(const std::vector<guarded_file> &files);

// The collision among a group of one file, if any: the first an output
// meets with any other file, else the first a rewritten file meets with a
// file read, pairs excused left out. A message naming both files and their
// roles; empty when none.
std::string collision_in(const std::vector<guarded_file> &files, const std::vector<size_t> &group,
                         const guard_excuse &excused = nullptr);

// The guard of a job: every output checked against every input and every
// other output, and against planted links; each collision a message, in
// the order of files.
std::vector<std::string> guard_files(const std::vector<guarded_file> &files);

} // namespace os
