// Reading a regular file whole into memory, with its lines' length held to
// a limit.
#pragma once

#include "fd.h"
#include "result.h"

#include <cstddef>
#include <string>

namespace os {

// Reads the open regular file from its start into text, a block at a time,
// making sure no line of it is longer than max_line bytes (the line end
// left out). On a line longer than that, long_line is its number (else 0),
// the failure is EFBIG and text holds what was read up to it.
result<void> read_text(const os::fd &file, std::string &text, size_t max_line, long &long_line);

} // namespace os
