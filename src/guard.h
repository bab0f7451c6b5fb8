// The guard every file the tool writes passes before anything is written:
// no output may be a file that the batch reads or rewrites, nor another
// output, and no output is reached through a link planted by another user.
#pragma once

#include "site_list.h"

#include <string>
#include <vector>

// What the batch writes besides the site files.
struct batch_writes {
    bool site_soil_files = false;          // NAME.soils.in of every site (--keep-soils)
    std::string summary_path, report_path; // empty: not written
    std::string failed_path;               // --failed; empty: not written
};

// The batch's collisions, each a message naming both files and their
// roles; empty when every file may be written. list_path names the site
// list in messages, list_fd is its open descriptor.
std::vector<std::string> guard_batch(const site_list &list, int list_fd, const char *list_path,
                                     const batch_writes &writes);

// A file of a job other than the batch (the importer's inputs and
// outputs), with what it is to the job, as messages name it.
struct guarded_file {
    std::string path;
    std::string role; // "the daily file of x.csv", "the --stations file", ...
    bool written = false;
};

// The same guard for such a job: every output checked against every input
// and every other output, and against planted links; each collision a
// message naming both files and their roles, in the order of files.
std::vector<std::string> guard_files(const std::vector<guarded_file> &files);

// Why a link at path must not be followed: it lies in a directory that is
// sticky and writable by all, and neither the runner nor the directory's
// owner made it (the rule of the kernel's protected_symlinks). Empty when
// path is no such link.
std::string planted_link(const std::string &path);
