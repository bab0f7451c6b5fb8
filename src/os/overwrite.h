// Writing a descriptor: the one loop that writes all of a text, and a
// file written over in place from its start.
#pragma once

#include "fd.h"
#include "result.h"

#include <cstdint>
#include <string_view>
#include <sys/types.h>

namespace os {

// Writes all of text to a descriptor, at offset at, or where the
// descriptor stands when at is negative; 0 or the errno of the failure.
// Only async-signal-safe calls: an interrupt's handler writes with it too.
int write_all(int fd, std::string_view text, off_t at = -1);

// Writes text over an open file from its start and cuts the file to it
// (unless the file is known to be no longer than text: known_size),
// syncing it when sync is set.
result<void> write_over(const os::fd &file, std::string_view text, bool sync,
                        size_t known_size = SIZE_MAX);

} // namespace os
