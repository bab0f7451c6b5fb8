// A plan of downloads: the shell script of curl commands that fetches the
// files a command reads, paced for the service's limit, each file fetched
// to a temporary name and renamed into place only when curl succeeded, so
// that an interrupted run leaves no half file under the real name. Run
// again, a plan holds only the files not yet there whole, as the command's
// own reader judges them. The tool never touches the network itself.
#pragma once

#include "failure.h"

#include <functional>
#include <string>
#include <vector>

namespace import {

// A file the plan fetches: the name it is saved as (in the directory the
// plan is made and run in) and its URL.
struct download {
    std::string name, url;
};

// The service a plan fetches from.
struct download_service {
    std::string what;      // what the plan fetches, a line: "Daymet single-pixel CSV, ..."
    std::string limit;     // the service's published limit (or that it publishes none)
    std::string source;    // where that is published: a URL
    int pause_seconds = 0; // the pause between two requests
};

// Why a file that is there would be refused by the command that reads it;
// empty when it is whole.
using whole_check = std::function<std::string(const std::string &path)>;

// The files of a plan: those planned, and those already there whole.
struct plan_count {
    size_t planned = 0, whole = 0;
};

// Prints the plan on standard output: a header (what it fetches, the pace
// and its source), a line for each download whose file is not there whole,
// a pause between two, and a last line that says how many were fetched;
// says on standard error each file there that check refused, and how many
// files are left. A download given twice is planned once. Fails, printing
// nothing, for a name that is no plain file name (empty, a path, a
// control character) or one name given two URLs.
failure print_download_plan(const download_service &service, const std::vector<download> &downloads,
                            const whole_check &check, plan_count &count);

// The URL of path at the service: base (--base-url; "" for the service's
// own, default_base) with path after it, a '/' at base's end taken off.
std::string service_url(const std::string &base, const std::string &default_base,
                        const std::string &path);

// A word for the shell, in single quotes.
std::string shell_word(const std::string &text);

} // namespace import
