// Streams over memory: a text read as a file is, and a file written into
// memory, for the passes that read and write a site's files as streams.
#pragma once

#include "fd.h"
#include "result.h"

#include <cstddef>
#include <string_view>

namespace os {

// A stream reading text, which must outlive it.
result<in_stream> open_text_input(std::string_view text);

// A stream whose writes go into memory, taken out whole when it is closed.
class text_output {
  public:
    text_output() = default;
    ~text_output();
    text_output(const text_output &) = delete;
    text_output &operator=(const text_output &) = delete;

    result<void> open();
    out_stream &stream() { return out_; }
    // Closes the stream: what was written, good while this object lives; or
    // the failure of a write or of the memory it needed.
    result<std::string_view> close();

  private:
    out_stream out_;
    char *data_ = nullptr; // the stream's memory, set as it is flushed and closed
    size_t size_ = 0;
};

} // namespace os
