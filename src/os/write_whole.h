// Files written whole: through a temporary name renamed into place, so
// that no reader sees half of one.
#pragma once

#include "fd.h"
#include "result.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// Puts a file's content into the stream it is written through: 0, or the
// errno of a failure to get the content (a failure to write is the
// stream's, for its close).
using content_writer = std::function<int(out_stream &)>;

// Writes a file whole: through a temporary file named temp_prefix and six
// characters, renamed into place, so that no reader sees half of it (an
// interrupt waits meanwhile); a target that exists and is not a regular
// file (/dev/null, a pipe) is written to directly instead. The temporary
// file is gone after a failure.
result<void> write_file_whole(const std::string &path, const std::string &temp_prefix,
                              const content_writer &fill, bool sync);
result<void> write_through_temp(const std::string &path, const std::string &temp_prefix,
                                std::string_view text, bool sync);
// The same for a file whose writing may wait on its input (an import
// reading a pipe) and that replaces a user's file: an interrupt during the
// write removes the temporary file and ends the process, only the rename
// waits for it; the file keeps the mode of the one it replaces. The
// second tells placed once the file is in place, before an interrupt that
// came meanwhile ends the process.
result<void> write_file_replacing(const std::string &path, const std::string &temp_prefix,
                                  const content_writer &fill);
result<void> write_file_replacing_then(const std::string &path, const std::string &temp_prefix,
                                       const content_writer &fill,
                                       const std::function<void()> &placed);
// The same for content at hand, which nothing makes wait: written as
// write_file_whole writes (an interrupt waits for the whole write),
// keeping the mode of the file it replaces; threads may write files so at
// once.
result<void> write_file_keeping_mode(const std::string &path, const std::string &temp_prefix,
                                     const content_writer &fill);

// A file of a group written together, and the text it is to hold.
struct file_text {
    std::string path;
    std::string_view text;
};
// Writes files that belong together, all or none: each whole under a
// temporary name beside it (keeping the mode of the file it replaces),
// renamed into place only once every one is whole, interrupts waiting
// throughout. After a failure (its path the file's named in files) every
// temporary file is removed and every file left as it was. A target that
// is not a regular file (/dev/null) is written to directly, before the
// renames.
result<void> write_files_together(const std::vector<file_text> &files);

// Puts an unnamed file that open_unnamed_beside(path) opened, filled, in
// place at path as write_file_whole would write its content: linked under
// a temporary name beside path and renamed over it, without a copy; copied
// through write_file_whole where it cannot be linked (no unnamed files, no
// /proc, path a link, a device or standard output). A write failure the
// stream kept, or its close's, is returned, and nothing is put in place.
result<void> put_unnamed_in_place(out_stream &unnamed, const std::string &path,
                                  const std::string &temp_prefix);

// For an interrupt's handler, with async-signal-safe calls alone and
// nothing allocated: writes a file at temp, which must not be there,
// through fill (which writes to the descriptor with os::write_all; false
// on a failure), syncs it when sync is set and renames it over target;
// after a failure temp is removed and target is left as it was. The file
// gets mode when it is not -1 (a new file's mode otherwise). errno is
// kept.
void write_file_in_handler(const char *temp, const char *target, bool sync, bool (*fill)(int fd),
                           int mode = -1);

// Writes a new file whole through a temporary name, put in place only
// while its name is free (linked, never renamed over): a file that is
// there is never replaced, nor one that comes meanwhile. Its mode is a
// new file's. False, with nothing written there, when the name is taken.
result<bool> write_new_file(const std::string &path, const std::string &temp_prefix,
                            const content_writer &write, bool sync);

// The file that write_file_whole renames into place for path: path, or
// the file a link leads to; empty when it writes to path directly instead.
std::string renamed_into_place(const std::string &path);

} // namespace os
