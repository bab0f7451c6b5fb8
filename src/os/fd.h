// Descriptors and streams owned, and checked writing and closing: a write
// failure is never lost on the way to the close that reports it, and a
// close failure goes to whoever closes.
#pragma once

#include "result.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace os {

// A descriptor owned, closed once. Its owner closes it with close() and
// so learns of a failure; one still open when the object goes (its owner
// gave it up on a failure it reports instead, or only read it) is closed
// without a word, as nothing written is then at stake.
class fd {
  public:
    fd() = default;
    explicit fd(int descriptor, std::string path = std::string())
        : fd_(descriptor), path_(std::move(path)) {}
    fd(fd &&other) noexcept : fd_(other.release()), path_(std::move(other.path_)) {}
    fd &operator=(fd &&other) noexcept;
    ~fd();
    fd(const fd &) = delete;
    fd &operator=(const fd &) = delete;

    int get() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    const std::string &path() const { return path_; }
    // The descriptor, no longer owned.
    int release() {
        const int held = fd_;
        fd_ = -1;
        return held;
    }
    result<void> close();

  private:
    int fd_ = -1;
    std::string path_; // as failures name it
};

// An output stream owned, with its first write failure (its errno) kept
// until close() reports it. A stream still open when the object goes was
// given up after a failure its owner reports: it is closed without a word.
class out_stream {
  public:
    out_stream() = default;
    explicit out_stream(FILE *stream, std::string path = std::string())
        : fp_(stream), path_(std::move(path)) {}
    out_stream(out_stream &&other) noexcept;
    out_stream &operator=(out_stream &&other) noexcept;
    ~out_stream();
    out_stream(const out_stream &) = delete;
    out_stream &operator=(const out_stream &) = delete;

    FILE *get() const { return fp_; }
    bool is_open() const { return fp_ != nullptr; }
    bool put(std::string_view text);
    bool print(const char *format, ...) __attribute__((format(printf, 2, 3)));
    // What was put so far, out of the stream's buffer; false on a failure
    // (kept, as a write's is).
    bool flush();
    // Back to the start, to read what was written (a stream opened for
    // reading too).
    void rewind();
    // The first write failure's errno so far; 0 if none.
    int error() const { return error_; }
    // Flushes, syncs to the disk when sync is set, and closes: the first
    // failure since the stream was opened, the close's included.
    result<void> close(bool sync = false);
    // The stream, no longer owned; its first failure (error()) is the
    // caller's to take before.
    FILE *release();

  private:
    void note_failure();
    FILE *fp_ = nullptr;
    std::string path_;
    int error_ = 0;
};

// An input stream owned, closed once: close() tells of a failure; one
// still open when the object goes is closed without a word.
class in_stream {
  public:
    in_stream() = default;
    explicit in_stream(FILE *stream, std::string path = std::string())
        : fp_(stream), path_(std::move(path)) {}
    in_stream(in_stream &&other) noexcept : fp_(other.fp_), path_(std::move(other.path_)) {
        other.fp_ = nullptr;
    }
    in_stream &operator=(in_stream &&other) noexcept;
    ~in_stream();
    in_stream(const in_stream &) = delete;
    in_stream &operator=(const in_stream &) = delete;

    FILE *get() const { return fp_; }
    bool is_open() const { return fp_ != nullptr; }
    // The descriptor it reads, which the guard knows the file by.
    int descriptor() const;
    result<void> close();

  private:
    FILE *fp_ = nullptr;
    std::string path_;
};

// A stream's content copied to another; a failure to read it (a failure
// to write is to's, for its close).
result<void> copy_stream(FILE *from, out_stream &to);

// What is left to read of a descriptor, up to its end (a read of nothing).
result<std::string> read_rest(const os::fd &file);

} // namespace os
