// Files written whole: through a temporary name renamed into place, so
// that no reader sees half of one.
#pragma once

#include "fd.h"
#include "result.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

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
                              const content_writer &write, bool sync);
result<void> write_through_temp(const std::string &path, const std::string &temp_prefix,
                                std::string_view text, bool sync);
// The same for a file whose writing may wait on its input (an import
// reading a pipe) and that replaces a user's file: an interrupt during the
// write removes the temporary file and ends the process, only the rename
// waits for it; the file keeps the mode of the one it replaces.
result<void> write_file_replacing(const std::string &path, const std::string &temp_prefix,
                                  const content_writer &write);

// Writes a new file whole through a temporary name, put in place only
// while its name is free (linked, never renamed over): a file that is
// there is never replaced, nor one that comes meanwhile. Its mode is a
// new file's. False, with nothing written there, when the name is taken.
result<bool> write_new_file(const std::string &path, const std::string &temp_prefix,
                            const content_writer &write, bool sync);

} // namespace os

// The forms before the result type and os::out_stream: write puts the
// content through a bare FILE*; 0 or the errno of the failure.
int write_file_whole(const std::string &path, const std::string &temp_prefix,
                     const std::function<int(FILE *)> &write, bool sync);
int write_through_temp(const std::string &path, const std::string &temp_prefix,
                       std::string_view text, bool sync);
int write_file_replacing(const std::string &path, const std::string &temp_prefix,
                         const std::function<int(FILE *)> &write);

// The file that write_file_whole renames into place for path: path, or
// the file a link leads to; empty when it writes to path directly instead.
std::string renamed_into_place(const std::string &path);
