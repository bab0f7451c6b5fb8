// The one printer of a program.
#include "printer.h"
#include "fd.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Text as a C string prints it: up to a NUL byte.
std::string_view as_c_string(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

} // namespace

void print_line(std::string_view line) {
    line = as_c_string(line);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::putc('\n', stdout);
}

void print_text(std::string_view text) {
    text = as_c_string(text);
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void print_format(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

void print_now() {
    std::fflush(stdout);
}

void print_error(const char *program, std::string_view text) {
    std::fprintf(stderr, "%s: %.*s\n", program, static_cast<int>(text.size()), text.data());
}

void print_error_line(std::string_view line) {
    // One write of the whole line: standard error is unbuffered.
    const std::string whole = std::string(as_c_string(line)) + "\n";
    std::fwrite(whole.data(), 1, whole.size(), stderr);
}

void print_error_text(std::string_view text) {
    text = as_c_string(text);
    std::fwrite(text.data(), 1, text.size(), stderr);
}

bool same_output_and_error() {
    struct stat out, err;
    return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 &&
           out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

int finish_printing(const char *program, int status) {
    return finish_stdout(program, status);
}
