// The in-place rewrite of a site parameter file: the temporary copy made
// exclusively with the site file's permissions and used through one
// descriptor, the site file written over from its start and cut, restored
// from the copy when anything fails; the lock, --sync, and interrupts
// deferred meanwhile.
#include "rewrite.h"
#include "files.h"
#include "lines.h"
#include "open.h"
#include "overwrite.h"
#include "printer.h"
#include "read_text.h"
#include "report.h"
#include "shown.h"
#include "signals.h"

#include <cerrno>
#include <cstring>

namespace {

// Adds a line to what a failure says after its message.
void add_after(failure &f, const std::string &line) {
    f.after += (f.after.empty() ? "" : "\n") + line;
}

failure failed(const char *what, const std::string &file, int err) {
    failure f;
    f.message = step_failed(what, file, err);
    return f;
}

// Removes the temporary copy once it is no longer needed, unless its name
// has come to stand for another file, which is not ours to delete; what
// went wrong, if anything.
failure remove_temp_copy(rewrite &rw) {
    failure f;
    if (const int err = remove_if_still(rw.temp, rw.copy_fd); err > 0)
        f = failed("deleting", rw.temp, err);
    else if (err < 0)
        f.message = format_message(copy_replaced_message, rw.temp.c_str());
    close_fd(rw.copy_fd);
    rw.copy_fd = -1;
    return f;
}

// A failure, then what removing the copy said.
failure with_copy_removed(failure f, rewrite &rw) {
    const failure removed = remove_temp_copy(rw);
    if (removed.failed())
        add_after(f, removed.message);
    return f;
}

// Makes the copy whole (and with --sync on the disk) before the site file
// is written over.
failure fill_copy(rewrite &rw) {
    long long_line = 0;
    if (const int err = read_text(rw.site_fd, rw.content, max_text_line, long_line);
        long_line > 0) {
        failure f;
        f.message = long_site_line(rw.site_file, long_line);
        return f;
    } else if (err != 0) {
        return failed("reading", rw.site_file, err);
    }
    int write_err = write_text(rw.copy_fd, rw.content);
    if (write_err == 0 && rw.sync)
        write_err = sync_fd(rw.copy_fd);
    if (write_err != 0)
        return failed("writing", rw.temp, write_err);
    return failure();
}

// After a failure with the site file written over: restored from the copy,
// and what the restore said after the failure's message.
failure restored(failure f, rewrite &rw) {
    bool kept = false;
    add_after(f, restore_site_file(rw, kept));
    f.stops_batch = kept;
    return f;
}

} // namespace

std::string restore_site_file(rewrite &rw, bool &kept) {
    const int err =
        rw.write_errno != 0 ? rw.write_errno : write_over_fd(rw.site_fd, rw.content, rw.sync);
    kept = err != 0;
    if (!kept) {
        const std::string said = format_message(restored_message, shown_name(rw.site_file).c_str());
        const failure removed = remove_temp_copy(rw);
        return removed.failed() ? said + "\n" + removed.message : said;
    }
    const std::string shown = shown_name(rw.site_file);
    close_fd(rw.copy_fd);
    rw.copy_fd = -1;
    return format_message(restore_failed_message, shown.c_str(), std::strerror(err)) + "\n" +
           format_message(copy_kept_message, rw.temp.c_str(), shown.c_str(), shown.c_str(),
                          rw.temp.c_str());
}

failure start_rewrite(rewrite &rw, const std::string &site) {
    defer_interrupts(true);
    failure f;
    // Created exclusively (an existing file or link is never reused), never
    // readable by more users than the site file.
    rw.copy_fd = create_exclusive(rw.temp, rw.site_mode & 0777);
    if (const int err = errno; rw.copy_fd < 0)
        f.message = format_message(keys_temp_open_message, shown_name(site).c_str()) + "\n" +
                    rw.temp + ": " + std::strerror(err);
    else if (f = fill_copy(rw); f.failed())
        f = with_copy_removed(f, rw);
    else if (rw.write_errno != 0)
        f = with_copy_removed(failed("opening for writing", rw.site_file, rw.write_errno), rw);
    if (f.failed())
        defer_interrupts(false);
    return f;
}

failure commit_rewrite(rewrite &rw, const std::string *text) {
    failure f;
    if (text == nullptr)
        f = restored(failed("rewriting", rw.site_file, ENOMEM), rw);
    // The site file is as long as the content read from it: a text no
    // shorter needs no cut.
    else if (const int err = write_over_fd(rw.site_fd, *text, rw.sync, rw.content.size()); err != 0)
        f = restored(failed("writing", rw.site_file, err), rw);
    else
        f = remove_temp_copy(rw);
    defer_interrupts(false);
    return f;
}

failure open_over(const std::string &path, const std::string &site, int &fd) {
    failure f;
    fd = open_for_overwrite(path, true);
    if (const int err = errno; fd < 0)
        f.message = format_message(soil_open_message, shown_name(site).c_str()) + "\n" +
                    shown_name(path) + ": " + std::strerror(err);
    return f;
}

failure write_over(int fd, const std::string &path, const std::string &site,
                   const std::string *text) {
    int err = text != nullptr ? write_over_fd(fd, *text, false, size_of_open_file(fd)) : ENOMEM;
    if (const int closed = close_fd(fd); closed != 0 && err == 0)
        err = closed;
    failure f;
    if (err != 0)
        f.message = format_message(soil_write_message, shown_name(path).c_str(),
                                   shown_name(site).c_str(), std::strerror(err));
    return f;
}

void lock_site_file(int fd, const std::string &path) {
    if (try_lock(fd))
        return; // locked, or a file system without locks
    say(format_message(lock_wait_message, shown_name(path).c_str()));
    print_now();
    wait_for_lock(fd);
}
