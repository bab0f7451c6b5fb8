// An input of the importer read a line at a time, and what its readers
// share: the messages that name its lines and columns, and the fields of
// its lines.
#include "input.h"

#include "convert.h"
#include "open.h"
#include "shown.h"
#include "tokens.h"

#include <unistd.h>

namespace import {

namespace {

// An input's file opened for reading; none for standard input, or after a
// failure (err says why).
os::fd input_file(const std::string &path, int &err) {
    if (path == "-")
        return os::fd();
    os::result<os::fd> opened = os::open_input(path);
    err = opened.err();
    return opened ? std::move(*opened) : os::fd();
}

} // namespace

input::input(const std::string &p)
    : path(p), file_(input_file(p, err)),
      reader_(os::line_reader::of_stream(p == "-" ? STDIN_FILENO : file_.get())) {}

bool input::next() {
    if (!more_) {
        std::string_view read;
        if (!os::next_line(reader_, read)) {
            if (reader_.error != 0)
                err = reader_.error;
            return false;
        }
        // The line's end: LF, CR LF, or a CR that ends the input.
        if (read.ends_with('\n'))
            read.remove_suffix(1);
        if (read.ends_with('\r'))
            read.remove_suffix(1);
        rest_ = read;
    }
    // A lone CR ends a line too.
    const size_t cr = rest_.find('\r');
    line.assign(rest_.substr(0, cr));
    more_ = cr != std::string_view::npos;
    if (more_)
        rest_.remove_prefix(cr + 1);
    if (number == 0 && line.starts_with("\xEF\xBB\xBF"))
        line.erase(0, 3);
    ++number;
    return true;
}

std::string input_name(const std::string &path) {
    return path == "-" ? "standard input" : shown_name(path);
}

std::string at_line(const input &in, const std::string &what) {
    return input_name(in.path) + " line " + std::to_string(in.number) + ": " + what;
}

std::string at_column(const input &in, const std::string &column, const std::string &what) {
    return at_line(in, "column " + quote_token(column) + ": " + what);
}

std::string read_failure(const input &in) {
    return "Error reading " + input_name(in.path) + ": " + std::strerror(in.err);
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string> split_fields(std::string_view line, char delimiter) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i <= line.size(); ++i) {
        const char c = i < line.size() ? line[i] : delimiter;
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                field += line[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"' && trimmed(field).empty()) {
            field.clear();
            quoted = true;
        } else if (c == delimiter) {
            fields.emplace_back(trimmed(field));
            field.clear();
        } else {
            field += c;
        }
    }
    return fields;
}

namespace {

// The fields of a line whose fields runs of blanks and tabs separate, as
// awk reads them.
std::vector<std::string> split_blanks(std::string_view line) {
    std::vector<std::string> fields;
    size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == line.size())
            return fields;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        fields.emplace_back(line.substr(start, i - start));
    }
}

} // namespace

std::vector<std::string> split_line(std::string_view line, char delimiter, bool blank_runs) {
    return blank_runs ? split_blanks(line) : split_fields(line, delimiter);
}

bool whole_number(std::string_view text, int &n) {
    double number = 0;
    int decimals = 0;
    if (!plain_number(text, number, decimals) || !(number > -1e9 && number < 1e9) ||
        number != static_cast<int>(number))
        return false;
    n = static_cast<int>(number);
    return true;
}

} // namespace import
