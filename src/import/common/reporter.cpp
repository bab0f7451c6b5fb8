// The importer's messages.
#include "reporter.h"

#include "printer.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace import {

namespace {

constexpr char program[] = "siteprep-import";

} // namespace

const char *program_name() {
    return program;
}

void say_line(std::string_view line) {
    os::print_line(line);
}

void say_text(std::string_view text) {
    os::print_text(text);
}

void say_format(const char *format, ...) {
    va_list args;
    va_start(args, format);
    os::print_vformat(format, args);
    va_end(args);
}

void say_now() {
    os::print_now();
}

void say_error(std::string_view text) {
    os::print_error(program, text);
}

void say_error_line(std::string_view line) {
    os::print_error_line(line);
}

void say_outside_range(std::string_view where, const outside_range &found, std::string_view done) {
    if (found.any())
        say_error("warning: " + std::string(where) + ": " + found.said() + ", " +
                  std::string(done));
}

int error_status(const failure &f) {
    if (!f.failed())
        return 0;
    say_error(f.message);
    return 1;
}

void say_failures(const char *what, const std::vector<std::string> &lines, size_t of) {
    os::print_error_line(std::string("Failed ") + what + ":");
    for (const std::string &line : lines)
        os::print_error_line(line);
    char counts[96];
    std::snprintf(counts, sizeof counts, "%zu of %zu %s failed", lines.size(), of, what);
    os::print_error_line(counts);
}

std::string usage_of(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) {
        text += text.empty() ? "usage: " : "       ";
        text += program;
        text += ' ';
        text += line;
        text += '\n';
    }
    return text;
}

int wrong_command_line(std::string_view usage, std::string_view command) {
    os::print_error_text(usage);
    std::string help = std::string("Try '") + program + " ";
    if (!command.empty())
        help += std::string(command) + " ";
    os::print_error_text(help + "--help' for more information.\n");
    return 2;
}

void say_version(const char *version) {
    os::print_text(std::string(program) + " " + version + "\n");
}

int say_out_of_memory() {
    os::print_error(program, std::string(std::strerror(ENOMEM)) + "; it stopped");
    return 1;
}

void say_out_of_memory_while(std::string_view doing) {
    os::print_error_line(std::string(doing) + ": " + std::strerror(ENOMEM) + "; " + program +
                         " stopped");
}

int finish(int status) {
    return os::finish_printing(program, status);
}

} // namespace import
