// The files every site of a batch writes, at fixed names: soils.in and the
// temporary copy XXXX.sfp, in the working directory or in the --scratch
// directory; and a site's own soil file.
#pragma once

#include <string>

// The fixed files: soils.in and XXXX.sfp in the working directory, or in
// the --scratch directory once set_scratch_dir has moved them there (before
// the batch, once).
extern const char *soil_file_name;
extern const char *temp_file_name;
void set_scratch_dir(const std::string &dir);
// A site's own soil file (--keep-soils): NAME.soils.in beside its site
// file, with a scratch directory too (sites of one base name in several
// directories would meet there).
std::string site_soil_file(const std::string &site_name);
// A message about the fixed files that says "in the working directory",
// saying where they are instead when a scratch directory holds them.
std::string where_fixed_files_are(const std::string &message);
// Why neither a run nor a check may start over a file at the temporary
// copy's name: it may be a copy left over. Empty when there is none, and
// when it is a file that the batch reads or rewrites (taken_by_batch) in
// a scratch directory: the guard's collision names that. (In the working
// directory a site named XXXX is refused as a leftover copy.)
std::string temp_copy_refusal(bool taken_by_batch);
// A copy left by an interrupted run may hold the only intact content of a
// site file: neither the run nor the check starts over it.
bool temp_copy_left_over();
