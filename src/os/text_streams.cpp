// Streams over memory.
#include "text_streams.h"
#include "sys.h"

#include <cstdlib>

namespace os {

result<in_stream> open_text_input(std::string_view text) {
    // A null buffer would ask for one of the stream's own.
    static char nothing[1] = "";
    char *data = text.data() != nullptr ? const_cast<char *>(text.data()) : nothing;
    // Only read, through a stream that cannot write.
    FILE *fp = sys::fmemopen(data, text.size(), "r");
    if (fp == nullptr)
        return error_now("fmemopen");
    return in_stream(fp);
}

text_output::~text_output() {
    out_ = out_stream(); // closed before its memory goes
    std::free(data_);
}

result<void> text_output::open() {
    FILE *fp = sys::open_memstream(&data_, &size_);
    if (fp == nullptr)
        return error_now("open_memstream");
    out_ = out_stream(fp);
    return {};
}

result<std::string_view> text_output::close() {
    if (const result<void> closed = out_.close(); !closed)
        return closed.error();
    return std::string_view(data_ != nullptr ? data_ : "", size_);
}

} // namespace os
