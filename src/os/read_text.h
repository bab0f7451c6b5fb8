// Reading a regular file whole into memory, with its lines' length held to
// a limit.
#pragma once

#include <cstddef>
#include <string>

// Reads the open regular file from its start into text, a block at a time,
// making sure no line of it is longer than max_line bytes (the line end
// left out). 0, or the errno of a failure; long_line > 0 is then the
// number of the first line longer than that (EFBIG), and text holds what
// was read up to it.
int read_text(int fd, std::string &text, size_t max_line, long &long_line);
