// Reading a regular file whole into memory.
#include "read_text.h"
#include "lines.h"
#include "sys.h"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace os {

namespace {

// The number of the first line of text longer than max_line, counting on
// from line (whose length so far is length); 0 if none.
long long_line_in(std::string_view text, size_t max_line, long &line, size_t &length) {
    for (const char *p = text.data(), *end = p + text.size(); p < end;) {
        const char *nl =
            static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        length += static_cast<size_t>((nl ? nl : end) - p);
        if (length > max_line)
            return line;
        if (nl == nullptr)
            break;
        length = 0;
        ++line;
        p = nl + 1;
    }
    return 0;
}

} // namespace

result<void> read_text(const os::fd &file, std::string &text, size_t max_line, long &long_line) {
    long line = 1;
    size_t length = 0;
    long_line = 0;
    text.clear();
    // A regular file reads short only at its end.
    for (;;) {
        const size_t old = text.size();
        text.resize(old + io_block_size);
        const ssize_t n =
            sys::pread(file.get(), text.data() + old, io_block_size, static_cast<off_t>(old));
        text.resize(old + (n > 0 ? static_cast<size_t>(n) : 0));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return error_now("read", file.path());
        long_line = long_line_in(std::string_view(text).substr(old), max_line, line, length);
        if (long_line > 0)
            return sys_error{EFBIG, "read", file.path()};
        if (static_cast<size_t>(n) < io_block_size)
            return {};
    }
}

} // namespace os
