// What the process may use and where its output goes: its cores, its
// descriptors, whether a standard stream is a terminal.
#pragma once

// The cores this process may run on (1 when it cannot be told).
int usable_cores();

// The most descriptors the process may have open, or -1 for no limit (or
// none known).
long descriptor_limit();
// How many of the descriptors below limit are open.
long descriptors_in_use(long limit);

// Whether a descriptor is a terminal.
bool is_terminal(int fd);
