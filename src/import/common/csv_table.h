// A small CSV table read whole, its columns found by name: the tables a
// user gives the soil and sites commands (points, horizons, stations,
// soils).
#pragma once

#include "failure.h"
#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace import {

struct csv_table {
    std::string path;
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows; // each as many fields as the header
    std::vector<long> lines;                    // each row's line number

    // The first of the names that the header holds (in any case); none
    // for none.
    static constexpr size_t none = static_cast<size_t>(-1);
    size_t column(std::initializer_list<const char *> names) const;
    // "FILE line N".
    std::string at(size_t row) const;
};

// Reads a table: a header row, then rows of as many fields (blank lines
// skipped); or what is wrong, naming the file and the line.
failure read_csv_table(const std::string &path, csv_table &t);

// Whether a field stands for no value: empty or NA.
bool is_na(const std::string &field);

// The shortest text that reads back as the float v (as siteprep reads the
// site list).
std::string float_text(float v);

} // namespace import
