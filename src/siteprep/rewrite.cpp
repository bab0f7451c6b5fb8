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
#include "read_text.h"
#include "report.h"
#include "shown.h"

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
    if (const os::result<bool> removed = os::remove_if_still(rw.temp, rw.copy); !removed)
        f = failed("deleting", rw.temp, removed.err());
    else if (!*removed)
        f.message = format_message(copy_replaced_message, rw.temp.c_str());
    rw.copy = os::fd();
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
    if (const os::result<void> read =
            os::read_text(*rw.site, rw.content, os::max_text_line, long_line);
        long_line > 0) {
        failure f;
        f.message = long_site_line(rw.site_file, long_line);
        return f;
    } else if (!read) {
        return failed("reading", rw.site_file, read.err());
    }
    int write_err = os::write_all(rw.copy.get(), rw.content);
    if (write_err == 0 && rw.sync)
        write_err = os::sync(rw.copy).err();
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
        rw.write_errno != 0 ? rw.write_errno : os::write_over(*rw.site, rw.content, rw.sync).err();
    kept = err != 0;
    if (!kept) {
        const std::string said = format_message(restored_message, shown_name(rw.site_file).c_str());
        const failure removed = remove_temp_copy(rw);
        return removed.failed() ? said + "\n" + removed.message : said;
    }
    const std::string shown = shown_name(rw.site_file);
    rw.copy = os::fd();
    return format_message(restore_failed_message, shown.c_str(), std::strerror(err)) + "\n" +
           format_message(copy_kept_message, rw.temp.c_str(), shown.c_str(), shown.c_str(),
                          rw.temp.c_str());
}

failure start_rewrite(rewrite &rw, const std::string &site) {
    rw.waiting.emplace();
    failure f;
    // Created exclusively (an existing file or link is never reused), never
    // readable by more users than the site file.
    if (os::result<os::fd> made = os::create_exclusive(rw.temp, rw.site_mode & 0777); !made)
        f.message = format_message(keys_temp_open_message, shown_name(site).c_str()) + "\n" +
                    rw.temp + ": " + made.error().reason();
    else if (rw.copy = std::move(*made); (f = fill_copy(rw)).failed())
        f = with_copy_removed(f, rw);
    else if (rw.write_errno != 0)
        f = with_copy_removed(failed("opening for writing", rw.site_file, rw.write_errno), rw);
    if (f.failed())
        rw.waiting.reset();
    return f;
}

failure commit_rewrite(rewrite &rw, const std::string *text) {
    failure f;
    if (text == nullptr)
        f = restored(failed("rewriting", rw.site_file, ENOMEM), rw);
    // The site file is as long as the content read from it: a text no
    // shorter needs no cut.
    else if (const os::result<void> written =
                 os::write_over(*rw.site, *text, rw.sync, rw.content.size());
             !written)
        f = restored(failed("writing", rw.site_file, written.err()), rw);
    else
        f = remove_temp_copy(rw);
    rw.waiting.reset();
    return f;
}

failure open_over(const std::string &path, const std::string &site, os::fd &file) {
    failure f;
    os::result<os::fd> opened = os::open_for_overwrite(path, true);
    if (!opened)
        f.message = format_message(soil_open_message, shown_name(site).c_str()) + "\n" +
                    shown_name(path) + ": " + opened.error().reason();
    else
        file = std::move(*opened);
    return f;
}

failure write_over(os::fd &file, const std::string &path, const std::string &site,
                   const std::string *text) {
    const os::result<void> written = text != nullptr
                                         ? os::write_over(file, *text, false, os::size_of(file))
                                         : os::result<void>(os::sys_error{ENOMEM, "write", path});
    const os::result<void> done = os::first_of(written, file.close());
    failure f;
    if (!done)
        f.message = format_message(soil_write_message, shown_name(path).c_str(),
                                   shown_name(site).c_str(), done.error().reason().c_str());
    return f;
}

void lock_site_file(const os::fd &file, const std::string &path) {
    if (os::try_lock(file))
        return; // locked, or a file system without locks
    say_now(format_message(lock_wait_message, shown_name(path).c_str()));
    os::wait_for_lock(file);
}
