// The in-place rewrite of a site parameter file through its temporary
// copy: the lock, the copy, the passes, the site file written over, the
// copy deleted or the site file restored from it, --sync; interrupts
// deferred meanwhile. And soils.in written over from its pass.
#pragma once

#include <functional>
#include <string>
#include <vector>

// What went wrong, as the step where it happened words it: the message
// (one or more lines), what was done about it (lines printed after it,
// such as a restore), and the errno behind it (0: none). A step that
// succeeds returns one without a message.
struct failure {
    std::string message;
    std::string after;
    int err = 0;
    bool stops_batch = false; // no further site may run (a copy had to be kept)
    bool failed() const { return !message.empty(); }
};

// With --sync, every rewrite syncs the copy before the site file is opened
// for writing and the site file before the copy is deleted.
extern bool sync_rewrites;

// One in-place rewrite of a site parameter file through the temporary copy.
// The copy is created with the site file's permission bits and used through
// one descriptor from its creation to its deletion; the content it holds is
// kept in memory too, which the passes read and a restore writes back.
struct rewrite {
    std::string site_file;
    int site_fd = -1;       // the site file, open for reading; owned by the caller
    int write_errno = 0;    // why site_fd is not open for writing too; 0 when it is
    unsigned site_mode = 0; // the site file's permission bits, as opened
    int copy_fd = -1;       // the temporary copy while it exists
    std::string content;    // what the copy holds
};

// A pass of a rewrite: reads oldfp and writes newfp, which the rewrite sets
// for it; false when it failed (the passes of a run never do: one that runs
// out of memory fails through the exception the rewrite catches).
using rewrite_pass = std::function<bool()>;

// Rewrites the site file in place with the passes in order, each reading
// what the one before wrote (the first reads the copy's content; each
// writes into memory, and the last's text is written over the site file). Whatever fails, the
// site file is restored from the copy, or the copy kept and the failure
// says so (stops_batch). site names the site in messages. Interrupts wait
// meanwhile.
failure rewrite_site_file(const rewrite &target, const std::string &site,
                          const std::vector<rewrite_pass> &passes);

// Writes the copy's content back over the site file and deletes the copy;
// when even that fails, keeps it (kept). What to say of it, a line or more.
std::string restore_site_file(rewrite &rw, bool &kept);

// Writes a file over in place from a pass writing newfp (soils.in, which
// every site rewrites); with kept, what the pass wrote is also kept there.
failure write_over(const char *path, const std::string &site, const rewrite_pass &pass,
                   std::string *kept);

// Takes an exclusive lock on an open site file for the time its site is
// rewritten, so that two runs sharing a site take turns; waits (after
// saying so once) while another run holds it.
void lock_site_file(int fd, const std::string &path);
