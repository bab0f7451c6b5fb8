// What the os functions give back: a value, or the failure they met,
// with its errno, what was being done and to which file, so that the one
// who says it has all it needs and nothing is said twice.
#pragma once

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace os {

struct sys_error {
    int err = EIO;         // errno
    const char *op = "";   // what failed: "open", "write", "rename", ...
    std::string path;      // the file it failed on; empty where none
    const char *text = {}; // a reason that no errno gives ("not a regular file")

    // What the failure was, as messages give it: text, or errno's words.
    std::string reason() const { return text != nullptr ? text : std::strerror(err); }
};

// The failure errno holds now, of op on path (EIO when errno says none).
inline sys_error error_now(const char *op, std::string path = std::string()) {
    return {errno != 0 ? errno : EIO, op, std::move(path)};
}

template <class T> class [[nodiscard]] result {
  public:
    result(T value) : held_(std::in_place_index<0>, std::move(value)) {}
    result(sys_error error) : held_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return held_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T &value() { return std::get<0>(held_); }
    const T &value() const { return std::get<0>(held_); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }
    const sys_error &error() const { return std::get<1>(held_); }
    // The errno of the failure, 0 for a value.
    int err() const { return ok() ? 0 : error().err; }

  private:
    std::variant<T, sys_error> held_;
};

template <> class [[nodiscard]] result<void> {
  public:
    result() = default;
    result(sys_error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const sys_error &error() const { return *error_; }
    int err() const { return ok() ? 0 : error_->err; }

  private:
    std::optional<sys_error> error_;
};

// The first failure of two, the way a write and then a close are told.
inline result<void> first_of(result<void> first, result<void> second) {
    return first.ok() ? second : first;
}

} // namespace os
