// What the process may use and where its output goes: its descriptors,
// whether a standard stream is a terminal, a name of its own.
#pragma once

#include <string>

namespace os {

// The most descriptors the process may have open, or -1 for no limit (or
// none known).
long descriptor_limit();
// How many of the descriptors below limit are open.
long descriptors_in_use(long limit);

// Whether a descriptor is a terminal.
bool is_terminal(int fd);

// A name no other process has at once, even on another machine sharing
// the file system: the host's name and the process's id ("node7-4121").
std::string process_tag();

} // namespace os
