// A scratch file: without a name, in a given directory, written and read
// at offsets, and gone with its last descriptor however the process ends.
#pragma once

#include "fd.h"
#include "result.h"

#include <string>
#include <string_view>
#include <sys/types.h>

namespace os {

// A new file without a name in dir, for reading and writing.
result<os::fd> open_scratch(const std::string &dir);

// All of data written at offset at.
result<void> write_at(const os::fd &file, std::string_view data, off_t at);
// Exactly size bytes read from offset at (EIO when the file ends before).
result<void> read_at(const os::fd &file, char *into, size_t size, off_t at);

} // namespace os
