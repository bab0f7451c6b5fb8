// Streams over memory: a text read as a file is, and a file written into
// memory, for the passes that read and write a site's files as streams.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// A stream reading text, which must outlive it; nullptr when it cannot be
// made (errno says why).
FILE *open_text_input(std::string_view text);

// A stream whose writes go into memory, taken out whole when it is closed.
struct text_output {
    FILE *fp = nullptr;
    char *data = nullptr;
    size_t size = 0;
};
// False when it cannot be made.
bool open_text_output(text_output &out);
// Closes it, with what was written moved into text; false when a write or
// the memory it needed failed (text is then left as it was).
bool close_text_output(text_output &out, std::string &text);
