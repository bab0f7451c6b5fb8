// Small CSV tables read whole.
#include "csv_table.h"
#include "input.h"
#include "shown.h"

#include <charconv>

namespace import {

size_t csv_table::column(std::initializer_list<const char *> names) const {
    for (const char *name : names)
        for (size_t i = 0; i < header.size(); ++i)
            if (lower(header[i]) == lower(name))
                return i;
    return none;
}

std::string csv_table::at(size_t row) const {
    return format_message("%s line %ld", input_name(path).c_str(), lines[row]);
}

failure read_csv_table(const std::string &path, csv_table &t) {
    t = csv_table();
    t.path = path;
    input in(path);
    if (!in.opened())
        return {read_failure(in)};
    while (in.next()) {
        if (trimmed(in.line).empty())
            continue;
        std::vector<std::string> fields = split_fields(in.line, ',');
        if (t.header.empty()) {
            t.header = std::move(fields);
            continue;
        }
        if (fields.size() != t.header.size())
            return {at_line(in, format_message("%zu fields, the header has %zu", fields.size(),
                                               t.header.size()))};
        t.rows.push_back(std::move(fields));
        t.lines.push_back(in.number);
    }
    if (in.err != 0)
        return {read_failure(in)};
    if (t.header.empty())
        return {input_name(path) + " is empty: a header row is needed"};
    return {};
}

bool is_na(const std::string &field) {
    return field.empty() || field == "NA";
}

std::string float_text(float v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
}

} // namespace import
