// The in-place rewrite of a site parameter file through its temporary
// copy: the lock, the copy and swap, the passes, finish or restore, --sync
// and interrupts deferred meanwhile.
#pragma once

#include "siteprep.h"

#include <string>

// With --sync, every rewrite syncs the copy before the site file is opened
// for writing and the site file before the copy is deleted.
extern bool sync_rewrites;

// One in-place rewrite of a site parameter file through the temporary copy.
// The copy is created with the site file's permission bits and used through
// one descriptor from its creation to its deletion.
struct rewrite {
    std::string site_file;
    int site_fd = -1;     // the site file, open for reading; owned by the caller
    int write_errno = 0;  // why site_fd is not open for writing too; 0 when it is
    FILE *copy = nullptr; // the temporary copy while it exists
};

// Creates the temporary copy exclusively (an existing file or link is never
// reused); false with errno set.
bool create_temp_copy(rewrite &rw);

// Copies the site file into the temporary copy, then makes the copy oldfp and
// the site file, opened to be written over, newfp. On failure it says
// why, removes the copy and returns false; the site file is untouched then.
bool copy_and_swap(rewrite &rw);

// After the rewriting pass: cuts the site file to its new length, closes
// newfp and deletes the copy. When a read
// or write failed, restores the site file from the copy instead; false then.
bool finish_rewrite(rewrite &rw);

// Restores the site file from the temporary copy after a failed pass and
// says so; when even that fails, keeps the copy and says that it holds the
// original.
void restore_site_file(rewrite &rw);

// Takes an exclusive lock on an open site file for the time its site is
// rewritten, so that two runs sharing a site take turns; waits (after
// saying so once) while another run holds it.
void lock_site_file(int fd, const std::string &path);

// While set, an interrupt, a hang-up or a closed output pipe waits: the
// process then ends between two writes of a file, never in the middle.
void defer_interrupts(bool defer);
