// The one printer of a program.
#include "printer.h"
#include "sys.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

namespace {

// The first failure to write standard output (its errno), which the
// stream's own error flag may not hold: 0 if none.
int stdout_error = 0;

// Text as a C string prints it: up to a NUL byte.
std::string_view as_c_string(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

void put(FILE *stream, std::string_view text) {
    if (os::sys::fwrite(text.data(), 1, text.size(), stream) != text.size() && stream == stdout &&
        stdout_error == 0)
        stdout_error = errno != 0 ? errno : EIO;
}

} // namespace

void print_line(std::string_view line) {
    put(stdout, as_c_string(line));
    put(stdout, "\n");
}

void print_text(std::string_view text) {
    put(stdout, as_c_string(text));
}

void print_format(const char *format, ...) {
    va_list args;
    va_start(args, format);
    print_vformat(format, args);
    va_end(args);
}

void print_vformat(const char *format, va_list args) {
    if (os::sys::vfprintf(stdout, format, args) < 0 && stdout_error == 0)
        stdout_error = errno != 0 ? errno : EIO;
}

void print_now() {
    if (os::sys::fflush(stdout) != 0 && stdout_error == 0)
        stdout_error = errno != 0 ? errno : EIO;
}

void print_error(const char *program, std::string_view text) {
    print_error_line(std::string(program) + ": " + std::string(as_c_string(text)));
}

void print_error_line(std::string_view line) {
    // One write of the whole line: standard error is unbuffered.
    put(stderr, std::string(as_c_string(line)) + "\n");
}

void print_error_text(std::string_view text) {
    put(stderr, as_c_string(text));
}

void print_at_once(FILE *stream, std::string_view text) {
    put(stream, as_c_string(text));
    os::sys::fflush(stream);
}

bool same_output_and_error() {
    struct stat out, err;
    return os::sys::fstat(STDOUT_FILENO, &out) == 0 && os::sys::fstat(STDERR_FILENO, &err) == 0 &&
           out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

int finish_printing(const char *program, int status) {
    const bool flushed = os::sys::fflush(stdout) == 0;
    if (flushed && !os::sys::ferror(stdout) && stdout_error == 0)
        return status;
    const int err = !flushed || os::sys::ferror(stdout) ? errno : stdout_error;
    print_error(program, std::string("error writing standard output: ") + std::strerror(err));
    return 1;
}

} // namespace os
