// --template: a site file that is not there is made from a template before
// its site's steps; one that is there is never touched.
#pragma once

#include "report.h"

#include <string>

// The template, read whole once before the first site, so that every site
// file made from it is the same.
struct site_template {
    std::string path; // empty: no --template
    std::string text;
};

// Whether a site file is not there at all, not even as a link leading
// nowhere: the only kind the template makes.
bool site_file_missing(const std::string &path);

// Reads the template whole, its lines held to a site file's limit; the
// failure when it cannot be used.
failure read_template(site_template &t);

// Makes a missing site file from the template, through a temporary name
// beside it, with a new file's mode; made tells whether it was made (not
// when another had put a file there by then, which is left as it is).
failure make_from_template(const std::string &site_file, const site_template &t, bool sync,
                           bool &made);
