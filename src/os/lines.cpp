// Reading a file line by line in large blocks.
#include "lines.h"
#include "checksum.h"
#include "sys.h"

#include <cerrno>
#include <cstring>

namespace os {

line_reader::line_reader(FILE *stream, size_t longest)
    : fp(stream), max_line(longest), block(io_block_size + line_padding) {}

line_reader::line_reader(int descriptor, size_t longest)
    : fp(nullptr), fd(descriptor), max_line(longest), block(io_block_size + line_padding) {}

line_reader line_reader::of_stream(int descriptor, size_t longest) {
    line_reader reader(descriptor, longest);
    reader.regular = false;
    return reader;
}

// A block of a descriptor. A regular file reads short only at its end, so
// a short read ends the file without a read of nothing; anything else ends
// with a read of nothing.
static void fill_block_of_fd(line_reader &r) {
    r.pos = 0;
    r.end = 0;
    for (;;) {
        const ssize_t n = os::sys::read(r.fd, r.block.data(), io_block_size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            r.error = errno;
        else
            r.end = static_cast<size_t>(n);
        r.at_eof = n <= 0 || (r.regular && r.end < io_block_size);
        return;
    }
}

static void fill_block_of_stream(line_reader &r) {
    r.pos = 0;
    r.end = os::sys::fread(r.block.data(), 1, io_block_size, r.fp);
    if (r.end < io_block_size) {
        r.at_eof = true;
        if (os::sys::ferror(r.fp))
            r.error = errno ? errno : EIO;
    }
}

static void fill_block(line_reader &r) {
    if (r.fp == nullptr)
        fill_block_of_fd(r);
    else
        fill_block_of_stream(r);
    if (r.summing)
        r.crc = crc32_update(r.crc, r.block.data(), r.end);
}

bool next_line(line_reader &r, std::string_view &line) {
    bool carrying = false;
    for (;;) {
        if (r.pos < r.end) {
            const char *start = r.block.data() + r.pos;
            size_t left = r.end - r.pos;
            const char *nl = static_cast<const char *>(std::memchr(start, '\n', left));
            if (nl != nullptr) {
                size_t n = static_cast<size_t>(nl - start) + 1;
                if ((carrying ? r.carry.size() : 0) + n - 1 > r.max_line) {
                    r.too_long = true; // the limit leaves out the line end
                    r.at_eof = true;
                    r.pos = r.end;
                    return false;
                }
                r.pos += n;
                if (!carrying) {
                    line = std::string_view(start, n);
                    return true;
                }
                r.carry.append(start, n);
                line = r.carry;
                return true;
            }
            // The line goes on in the next block.
            if (!carrying)
                r.carry.clear();
            carrying = true;
            if (r.carry.size() + left > r.max_line) {
                r.too_long = true;
                r.at_eof = true;
                r.pos = r.end;
                return false;
            }
            r.carry.append(start, left);
            r.pos = r.end;
        }
        if (r.at_eof)
            break;
        fill_block(r);
    }
    if (carrying && r.error == 0) {
        line = r.carry;
        return true;
    }
    return false;
}

std::string too_long_reason(size_t max_line) {
    return "line longer than " + std::to_string(max_line) + " bytes";
}

} // namespace os
