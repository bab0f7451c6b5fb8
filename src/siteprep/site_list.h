// The site list: its lines, read whole and parsed before the first site,
// and the part of them a run takes.
#pragma once

#include "fd.h"
#include "report.h"
#include "site_line.h"

#include <cstdio>
#include <string>
#include <vector>

// A non-blank line of the site list: the site, or why it cannot be used.
struct listed_site {
    long line_number = 0;
    site_line site;
    std::string problem; // the whole message; empty for a usable line
    std::string text;    // the line as it stands, when asked for (--failed)
};

struct site_list {
    std::vector<listed_site> lines;
    std::string read_problem; // a read error or an over-long line; empty if none
    // With a part taken, the lines of the other parts, before and after it:
    // the part is guarded against their files too.
    std::vector<listed_site> before_part, after_part;
};

// Reads every line of an open site list; with keep_text, each line's text too.
site_list read_site_list(FILE *list, const char *list_path, bool keep_text = false);

// The k-th of n near-equal contiguous parts of a list, counted in sites
// (non-blank lines); 1/1 is the whole list.
struct list_part {
    long k = 1, n = 1;
};
// Keeps only that part of the lines, which keep their line numbers; the
// others are set aside.
void keep_part(site_list &sites, const list_part &part);

// Opens the site list into list; the failure when it cannot be opened.
failure open_site_list(const char *list_path, os::in_stream &list);
