// The tables the importer keeps a row a name in (the stations table, the
// soils table), merged with the rows of an import, so that imports of
// several batches build one table.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace import {

// A row of such a table: its name and its whole line, line end included.
using named_row = std::pair<std::string, std::string>;

// The table after an import of rows, from the table as it was (empty:
// none), whose first line must be header (its line end aside): a row of a
// name imported now in place of the first of that name (the others go), a
// new name's row at the end, every other row kept as it was. False when
// the table's first line is not the header.
bool merge_named_rows(std::string_view table, const std::string &header,
                      const std::vector<named_row> &rows, std::string &text);

// The first field of a CSV row, unquoted.
std::string first_field(std::string_view row);

// A table file as it is: empty when there is none, or when it is no
// regular file (and so is written to as it stands). Empty, or what failed.
std::string read_table_file(const std::string &path, std::string &text);

// Checks, before anything is imported, that the file at path is none or a
// table of that header (a "stations table", given as --stations), and that
// its directory takes a new one; empty, or why it is left alone.
std::string check_named_table(const std::string &path, const std::string &header, const char *kind,
                              const char *option);

// Writes text as the whole of the file at path, through a temporary name
// (replacing a file there); empty, or "Error writing PATH: reason".
std::string write_text_replacing(const std::string &path, const std::string &text);

// Puts rows into the table at path, written whole through a temporary
// name; empty, or what failed.
std::string write_named_table(const std::string &path, const std::string &header,
                              const std::vector<named_row> &rows, const char *kind);

} // namespace import
