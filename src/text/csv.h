// A field of a CSV file, as the --summary table and the importer's
// stations table write it.
#pragma once

#include <string>

// A CSV field as RFC 4180 writes it: quoted when it holds a comma, a
// quote or a line end, or begins or ends with a blank (which some readers
// would trim).
std::string csv_field(const std::string &text);
