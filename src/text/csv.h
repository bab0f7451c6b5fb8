// A field of a CSV file, as the --summary table and the importer's
// stations table write it.
#pragma once

#include <string>

// A CSV field as RFC 4180 writes it: quoted when it holds a comma, a
// quote or a line end, or begins or ends with a blank (which some readers
// would trim).
std::string csv_field(const std::string &text);

// A float as printf's "%.4f" prints it (the weather block's values), into
// out, which holds 64 bytes; the end of what was written. Quicker than
// printf for the tables that print many.
char *put_fixed4(float value, char *out);
