// A field of a CSV file, as the --summary table and the importer's
// stations table write it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A CSV field as RFC 4180 writes it: quoted when it holds a comma, a
// quote or a line end, or begins or ends with a blank (which some readers
// would trim).
std::string csv_field(const std::string &text);

// The fields of the record of a CSV text (RFC 4180: quoted fields may hold
// commas, doubled quotes and line ends; records end in CR LF or LF) that
// starts at at, which is moved past it. False when the record is not well
// formed: a quote inside an unquoted field, text after a closing quote, or
// a quote left open.
bool next_csv_record(std::string_view text, size_t &at, std::vector<std::string> &fields);

// A float as printf's "%.4f" prints it (the weather block's values), into
// out, which holds 64 bytes; the end of what was written. Quicker than
// printf for the tables that print many.
char *put_fixed4(float value, char *out);
