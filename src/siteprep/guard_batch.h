// The batch's guard, which every file a run or a check would write passes
// before anything is written: no output may be a file that the batch reads
// or rewrites, nor another output, and no output is reached through a link
// planted by another user.
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

// What the guard found of two outputs in particular.
struct guard_findings {
    bool failed_list_clear = true; // the --failed file meets no other file and no planted link
    bool temp_copy_is_read =
        false; // the temporary copy's name is a file the batch reads or rewrites
};

// The batch's collisions, each a message naming both files and their
// roles; empty when every file may be written. list_path names the site
// list in messages, list_fd is its open descriptor. With a part of the
// list taken, the part's files and the outputs are checked against the
// files of every line, and a collision among other parts' files alone is
// theirs to refuse.
std::vector<std::string> guard_batch(const site_list &list, int list_fd, const char *list_path,
                                     const batch_writes &writes, guard_findings *found = nullptr);
