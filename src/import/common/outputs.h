// What every command of the importer does with its outputs: the names a
// site's daily file takes, the directories made for them, the tables kept
// a row a name (the stations table, the soils table) merged with the rows
// of an import so that imports of several batches build one table, and
// files written whole through a temporary name.
#pragma once

#include "failure.h"
#include "guard.h"
#include "result.h"
#include "write_whole.h"
#include "wth_writer.h"

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
// regular file (and so is written to as it stands); or the failure to read it.
os::result<std::string> read_table_file(const std::string &path);

// Checks, before anything is imported, that the file at path is none or a
// table of that header (a "stations table", given as --stations), and that
// its directory takes a new one; or why it is left alone.
failure check_named_table(const std::string &path, const std::string &header, const char *kind,
                          const char *option);

// Writes text as the whole of the file at path, through a temporary name
// (replacing a file there); or "Error writing PATH: reason".
failure write_text_replacing(const std::string &path, const std::string &text);

// Writes files that belong together (a filled daily file, its record and
// its skill table) all or none; or "Error writing PATH: reason; A, B and C
// are left as they were".
failure write_texts_together(const std::vector<os::file_text> &files);

// Puts rows into the table at path, written whole through a temporary
// name; or what failed, naming the file.
failure write_named_table(const std::string &path, const std::string &header,
                          const std::vector<named_row> &rows, const char *kind);

// A table kept ready, as an import goes, for an interrupt that ends it:
// the table as the import found it (base: its header line, then its rows,
// each with its line end, as the import's end would rewrite them), with the
// rows of the files written so far put in as that rewrite puts them, so
// that the interrupt's handler writes it whole through a temporary name,
// keeping its mode. Not kept (nullptr) when it is no regular file, which
// is written at the end alone.
struct table_for_interrupt;
table_for_interrupt *keep_for_interrupt(const std::string &path, std::string base);

// Puts a name's rows (text, line ends included) into a kept table, while
// interrupts wait, as the file they tell of is put in place: in_place, in
// place of the name's first row found, the others dropped; else after the
// rows, every row of the name found dropped. Out of memory, an interrupt
// leaves the table's file as it was.
void note_for_interrupt(table_for_interrupt *table, const std::string &name,
                        const std::string &text, bool in_place);

// The tables are written as the import ends: no longer by an interrupt.
void end_tables_for_interrupt();

// The same for the stations table (update_stations's rows).
void keep_stations_for_interrupt(const std::string &path);
void note_station_for_interrupt(const station_row &row);
void end_stations_for_interrupt();

// A file's name without its directory and its extension.
std::string stem_of(const std::string &path);

// A name a site list can hold: no white space, no control character.
bool site_list_can_name(const std::string &name);

// The daily file siteprep reads for the site of that name in output_dir;
// a name that begins with output_dir's path is in it once.
std::string daily_file_in(const std::string &output_dir, const std::string &name);

// Makes dir and the directories above it that are missing, as mkdir -p
// does, adding each it made to made; or "Error making the directory DIR: reason".
failure make_directories(std::string dir, std::vector<std::string> &made);

// The guard's refusals of the files (os/guard), each a failure.
std::vector<failure> guard_failures(const std::vector<os::guarded_file> &files);

// Says each failure and that nothing was written, removing the
// directories made (the last first); status 1.
int nothing_written(const std::vector<failure> &failures, const std::vector<std::string> &made);

// Checks that the --stations file is one this tool wrote (or none yet) and
// that it can be written, before any import; or why it is left alone.
failure check_stations(const std::string &path);

// Puts rows into the stations table at path (nothing changes without
// rows); or what failed, naming the file.
failure update_stations(const std::string &path, const std::vector<station_row> &rows);

} // namespace import
