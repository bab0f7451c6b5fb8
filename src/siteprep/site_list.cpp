// The site list: its lines, read whole before the first site, and the
// part of them a run takes (--part).
#include "site_list.h"
#include "lines.h"
#include "open.h"
#include "report.h"
#include "shown.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace {

bool ends_in_separator(std::string_view token) {
    return token.back() == ',' || token.back() == ';';
}

// A line of a spreadsheet's export: fields separated by commas (or
// semicolons), with or without blanks after them. A decimal comma (0,65)
// never ends a field, and its line has its ten fields.
bool looks_comma_separated(std::string_view line) {
    size_t pos = 0;
    int blank_fields = 0, fields = 0;
    for (std::string_view t; !(t = next_token(line, pos)).empty();) {
        if (ends_in_separator(t))
            return true;
        ++blank_fields;
        for (size_t start = 0; start <= t.size();) {
            const size_t end = std::min(t.find_first_of(",;", start), t.size());
            fields += end > start;
            start = end + 1;
        }
    }
    return blank_fields < 10 && fields >= 10;
}

// A first line of column names: not one number after the first field.
bool looks_like_header(std::string_view line) {
    size_t pos = 0;
    next_token(line, pos);
    int words = 0;
    for (std::string_view t; !(t = next_token(line, pos)).empty();) {
        float value;
        if (parse_float(t, value))
            return false;
        ++words;
    }
    return words > 0;
}

// What a malformed line seems to be, and the layout a site list has; empty
// when it seems to be neither.
std::string layout_hint(std::string_view line, bool first_site_line) {
    const std::string rule = "fields are separated by white space, one site a line";
    if (looks_comma_separated(line))
        return "; it looks comma-separated, but " + rule;
    if (first_site_line && looks_like_header(line))
        return "; it looks like a header row, but " + rule + ", with no header row";
    return std::string();
}

} // namespace

site_list read_site_list(FILE *list, const char *list_path, bool keep_text) {
    site_list result;
    os::line_reader reader(list, os::max_text_line);
    std::string_view line;
    long line_number = 0;
    const std::string list_name = shown_name(list_path);
    while (os::next_line(reader, line)) {
        ++line_number;
        // A spreadsheet's export may begin with a UTF-8 byte-order mark.
        if (line_number == 1 && line.substr(0, 3) == "\xef\xbb\xbf")
            line.remove_prefix(3);
        listed_site entry;
        entry.line_number = line_number;
        std::string why;
        const parse_status status = parse_site_line(line, entry.site, why);
        if (status == parse_status::blank)
            continue;
        if (status == parse_status::bad)
            entry.problem =
                format_message(site_line_message, list_name.c_str(), line_number, why.c_str()) +
                layout_hint(line, result.lines.empty());
        if (keep_text)
            entry.text.assign(line);
        result.lines.push_back(std::move(entry));
    }
    if (reader.too_long)
        result.read_problem = format_message(site_line_message, list_name.c_str(), line_number + 1,
                                             os::too_long_reason(os::max_text_line).c_str());
    else if (reader.error != 0)
        result.read_problem =
            format_message(read_message, list_name.c_str(), std::strerror(reader.error));
    return result;
}

void keep_part(site_list &sites, const list_part &part) {
    // Part k runs from floor((k-1) m / n) to floor(k m / n): every site once,
    // in order, the parts' sizes at most one apart.
    const auto m = static_cast<unsigned long long>(sites.lines.size());
    const auto k = static_cast<unsigned long long>(part.k);
    const auto n = static_cast<unsigned long long>(part.n);
    const size_t first = static_cast<size_t>((k - 1) * m / n), end = static_cast<size_t>(k * m / n);
    if (first == 0 && end == sites.lines.size())
        return;
    const auto move_out = [&sites](size_t from, size_t to, std::vector<listed_site> &into) {
        const auto begin = sites.lines.begin();
        into.assign(std::make_move_iterator(begin + static_cast<std::ptrdiff_t>(from)),
                    std::make_move_iterator(begin + static_cast<std::ptrdiff_t>(to)));
        sites.lines.erase(begin + static_cast<std::ptrdiff_t>(from),
                          begin + static_cast<std::ptrdiff_t>(to));
    };
    move_out(end, sites.lines.size(), sites.after_part);
    move_out(0, first, sites.before_part);
}

failure open_site_list(const char *list_path, os::in_stream &list) {
    int flag = 0;
    FILE *opened = os::efopen(list_path, "r", &flag);
    const int err = errno;
    if (flag)
        return failed_with(format_message("%s\n%s: %s", list_open_message,
                                          shown_name(list_path).c_str(), std::strerror(err)));
    list = os::in_stream(opened, list_path);
    return failure();
}
