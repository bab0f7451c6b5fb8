// The in-place rewrite of a site parameter file through its temporary
// copy: the copy made and filled, the new text written over the site file,
// the copy deleted or the site file restored from it, --sync; interrupts
// deferred meanwhile. The new text is the caller's: this unit only commits
// it safely. And soils.in written over, and the site file's lock.
#pragma once

#include "fd.h"
#include "report.h"
#include "signals.h"

#include <optional>
#include <string>

// One in-place rewrite of a site parameter file through the temporary copy.
// The copy is created with the site file's permission bits and used through
// one descriptor from its creation to its deletion; the content it holds is
// kept in memory too, from which the new text is made and which a restore
// writes back.
struct rewrite {
    std::string site_file;        // the site file's path
    const os::fd *site = nullptr; // the site file, open for reading; the caller's
    int write_errno = 0;          // why site is not open for writing too; 0 when it is
    unsigned site_mode = 0;       // the site file's permission bits, as opened
    std::string temp;             // the temporary copy's path
    bool sync = false;            // --sync: the copy synced before the site file is
                                  // written, and the site file before the copy is deleted
    os::fd copy;                  // the temporary copy while it exists
    std::string content;          // what the copy holds: the site file's text
    std::optional<os::deferred_interrupts> waiting; // from the start to the commit
};

// Starts a rewrite: from here interrupts wait. Makes the copy, reads the
// site file whole into content (no line longer than a site file line may
// be) and fills the copy with it. On a failure the copy is gone again,
// interrupts wait no longer, and the failure says so; site names the site
// in messages.
failure start_rewrite(rewrite &rw, const std::string &site);

// Ends a started rewrite: writes text over the site file, cuts it to that
// length and deletes the copy; or, when a write fails, or when text is
// null (memory ran out making it), restores the site file from the copy,
// or keeps the copy and the failure says so (stops_batch). Interrupts wait
// no longer then.
failure commit_rewrite(rewrite &rw, const std::string *text);

// Writes the copy's content back over the site file and deletes the copy;
// when even that fails, keeps it (kept). What to say of it, a line or more.
std::string restore_site_file(rewrite &rw, bool &kept);

// A file written over in place (soils.in, which every site rewrites): opened
// before its text is made, then written over with that text (null: memory
// ran out making it) and closed. site names the site in messages.
failure open_over(const std::string &path, const std::string &site, os::fd &file);
failure write_over(os::fd &file, const std::string &path, const std::string &site,
                   const std::string *text);

// Takes an exclusive lock on an open site file for the time its site is
// rewritten, so that two runs sharing a site take turns; waits (after
// saying so once) while another run holds it.
void lock_site_file(const os::fd &file, const std::string &path);
