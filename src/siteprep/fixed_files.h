// The files every site of a batch writes, at fixed names: soils.in and the
// temporary copy XXXX.sfp, in the working directory or in the --scratch
// directory. A site's own soil file stays beside its site file with a
// scratch directory too: sites of one base name in several directories
// would meet there.
#pragma once

#include "report.h"
#include "site_files.h"

#include <string>

// The fixed files of a batch, set once from the command line.
struct fixed_files {
    std::string scratch;           // the --scratch directory; empty: the working directory
    std::string soil = "soils.in"; // the soil layer file
    std::string temp = "XXXX.sfp"; // the temporary copy of a site file
};
// The fixed files in the scratch directory (empty: the working directory).
fixed_files fixed_files_in(const std::string &scratch);
// Where they are, as messages say it: "in the working directory", or "in
// the scratch directory DIR".
std::string where_fixed_files_are(const fixed_files &fixed);

// Why neither a run nor a check may start over a file at the temporary
// copy's name: it may be a copy left over. None when there is none, and
// when it is a file that the batch reads or rewrites (taken_by_batch) in
// a scratch directory: the guard's collision names that. (In the working
// directory a site named XXXX is refused as a leftover copy.)
failure temp_copy_refusal(const fixed_files &fixed, bool taken_by_batch);
// A copy left by an interrupted run may hold the only intact content of a
// site file: neither the run nor the check starts over it.
bool temp_copy_left_over(const fixed_files &fixed);
