// Writing a file over in place, from its start.
#pragma once

#include <cstdint>
#include <string_view>

// Writes text over an open file from its start and cuts the file to it
// (unless the file is known to be no longer than text: known_size), syncing
// it when sync is set; 0 or the errno of the first failure.
int write_over_fd(int fd, std::string_view text, bool sync, size_t known_size = SIZE_MAX);
