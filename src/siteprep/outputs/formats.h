// The pieces of the two outputs that their streaming puts together:
// included by the outputs' own files only.
#pragma once

#include "outputs.h"

#include <string>

// Text as the page's HTML holds it, characters that mark up escaped; a
// number with that many decimals.
std::string html(const std::string &text);
std::string number(double v, int decimals = 1);

// A value as the weather block prints it, or NA for not-a-number.
std::string block_value(float v);

// The --summary table's header row, and the twelve rows of a site.
std::string csv_header(const batch_outputs &o);
std::string csv_rows(const site_outcome &s, const batch_outputs &o);

// The --monthly table's header row, and a site's rows, a year row and
// month each, put into the table's stream.
std::string monthly_header();
void put_monthly_rows(const site_outcome &s, os::out_stream &out);

// The line of the page's header that names a rule or a period other than
// the defaults (empty for the defaults).
std::string html_choice(const batch_outputs &o);

// The whole page from the overview's rows and the sections streamed so
// far; 0 or the errno of a failure to read them back.
int write_page(batch_outputs &o, os::out_stream &to);
