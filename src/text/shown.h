// Names, tokens and counts as messages show them, and words wrapped into
// lines as the help shows them.
#pragma once

#include <string>
#include <string_view>

// A token as a message quotes it: its first 40 characters, in double
// quotes, with bytes that are not printable written as \xNN.
std::string quote_token(std::string_view token);
// A name (of a site or a file) as a message shows it: bytes that would
// reach a terminal as control codes, or that are not UTF-8, written as \xNN.
std::string shown_name(std::string_view name);
// "1 site", "2 sites": a count and a noun that takes an s.
std::string counted(long count, const char *thing);

// A printf format filled in, as a string.
std::string format_message(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Words filled into lines of at most width characters, greedily, each
// line after indent blanks and ending in a line end; words are separated
// by blanks, and one longer than a line has a line of its own.
std::string wrapped(std::string_view text, size_t indent, size_t width);
