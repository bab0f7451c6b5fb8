// The pieces of the two outputs that their streaming puts together:
// included by the outputs' own files only.
#pragma once

#include "outputs.h"

#include <string>

// A value as the weather block prints it, or NA for not-a-number.
std::string block_value(float v);

// The --summary table's header row, and the twelve rows of a site.
std::string csv_header(bool check);
std::string csv_rows(const site_outcome &s, bool check);

// A site's row of the --report page's overview, after the class that
// orders it; and its section of the page, its number-th.
std::string html_row(const site_outcome &s, size_t number, bool check);
std::string html_section(const site_outcome &s, size_t number);

// The whole page from the overview's rows and the sections streamed so
// far; 0 or the errno of a failure to read them back.
int write_page(batch_outputs &o, os::out_stream &to);
