// Streams over memory.
#include "text_streams.h"
#include "fd.h"

#include <cstdlib>
#include <new>

FILE *open_text_input(std::string_view text) {
    // A null buffer would ask for one of the stream's own.
    static char nothing[1] = "";
    char *data = text.data() != nullptr ? const_cast<char *>(text.data()) : nothing;
    // Only read, through a stream that cannot write.
    return fmemopen(data, text.size(), "r");
}

bool open_text_output(text_output &out) {
    out = text_output();
    out.fp = open_memstream(&out.data, &out.size);
    return out.fp != nullptr;
}

bool close_text_output(text_output &out, std::string &text) {
    bool ok = close_output(out.fp, false) == 0;
    out.fp = nullptr;
    if (ok) {
        try {
            text.assign(out.data, out.size);
        } catch (const std::bad_alloc &) {
            ok = false;
        }
    }
    std::free(out.data);
    out.data = nullptr;
    return ok;
}
