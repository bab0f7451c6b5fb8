// The batch's guard, which every file a run or a check would write passes
// before anything is written: no output may be a file that the batch reads
// or rewrites, nor another output, and no output is reached through a link
// planted by another user.
#pragma once

#include "fixed_files.h"
#include "site_list.h"

#include <string>
#include <vector>

// What the batch writes besides the site files.
struct batch_writes {
    bool site_soil_files = false;          // NAME.soils.in of every site (--keep-soils)
    std::string summary_path, report_path; // empty: not written
    std::string failed_path;               // --failed; empty: not written
    // --template: read, and copied to every site file that is not there.
    std::string template_path;
    std::string monthly_path; // --monthly; empty: not written
    bool fill_records =
        false; // every site's NAME.fill.csv is read (the check, --monthly, --report)
};

struct batch_outputs;
// What a run or a check writes: with keep_soils, every site's own soil
// file; the --failed file (empty: none); the outputs (nullptr: none).
batch_writes writes_of(bool keep_soils, const std::string &failed_path,
                       const batch_outputs *outputs, const std::string &template_path);

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
                                     const batch_writes &writes, const fixed_files &fixed,
                                     guard_findings *found = nullptr);

// Why a run or a check must not go over the batch as it stands: a copy left
// over (left_copy) and the guard's collisions; and what the guard found of
// two outputs in particular.
struct batch_refusals {
    failure left_copy;
    std::vector<std::string> collisions;
    guard_findings found;
};
batch_refusals refusals_of(const site_list &list, int list_fd, const char *list_path,
                           const batch_writes &writes, const fixed_files &fixed);
