// An input of the importer read a line at a time, the messages that name
// its lines and columns, and the fields of its lines: what the readers of
// every command share.
#pragma once

#include "fd.h"
#include "lines.h"

#include <string>
#include <string_view>
#include <vector>

namespace import {

// An input as messages name it: "standard input" for "-".
std::string input_name(const std::string &path);

// An input read a line at a time, without the line's end: LF, CR LF or a
// lone CR. A UTF-8 byte-order mark before the first line is not part of it.
class input {
  public:
    explicit input(const std::string &path); // "-": standard input
    input(const input &) = delete;
    input &operator=(const input &) = delete;

    // Whether it opened; err says why not.
    bool opened() const { return path == "-" || file_.is_open(); }
    // The next line into line; false at the end or after a read error
    // (err then says why).
    bool next();

    std::string path;
    long number = 0;
    std::string line;
    int err = 0; // errno of a failed open or read

  private:
    os::fd file_; // none for standard input
    os::line_reader reader_;
    std::string_view rest_; // what follows a lone CR of the reader's line
    bool more_ = false;     // rest_ holds a line still to come
};

// "NAME line N: what", and the same naming a column of the line.
std::string at_line(const input &in, const std::string &what);
std::string at_column(const input &in, const std::string &column, const std::string &what);
// "Error reading NAME: why".
std::string read_failure(const input &in);

// A field without the blanks and tabs around it; a text in lower case.
std::string_view trimmed(std::string_view s);
std::string lower(std::string_view s);

// The fields of a CSV line (RFC 4180 quotes; no line breaks inside them),
// trimmed of blanks.
std::vector<std::string> split_fields(std::string_view line, char delimiter);
// The fields of a line, as split_fields splits them or (blank_runs) as
// runs of blanks and tabs separate them.
std::vector<std::string> split_line(std::string_view line, char delimiter, bool blank_runs);

// A plain decimal number that is a whole one, within an int.
bool whole_number(std::string_view text, int &n);

} // namespace import
