// Files written whole: through a temporary name renamed into place, so
// that no reader sees half of one.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

// Writes a file whole: through a temporary file named temp_prefix and six
// characters, renamed into place, so that no reader sees half of it (an
// interrupt waits meanwhile); a target that exists and is not a regular
// file (/dev/null, a pipe) is written to directly instead. write puts the
// content and returns 0 or the errno of a failure to read it. 0 or the
// errno of the failure; the temporary file is gone then.
int write_file_whole(const std::string &path, const std::string &temp_prefix,
                     const std::function<int(FILE *)> &write, bool sync);
int write_through_temp(const std::string &path, const std::string &temp_prefix,
                       std::string_view text, bool sync);
// The same for a file whose writing may wait on its input (an import
// reading a pipe) and that replaces a user's file: an interrupt during the
// write removes the temporary file and ends the process, only the rename
// waits for it; the file keeps the mode of the one it replaces.
int write_file_replacing(const std::string &path, const std::string &temp_prefix,
                         const std::function<int(FILE *)> &write);
// The file that write_file_whole renames into place for path: path, or
// the file a link leads to; empty when it writes to path directly instead.
std::string renamed_into_place(const std::string &path);
