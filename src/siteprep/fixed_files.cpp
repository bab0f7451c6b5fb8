// The fixed files of a batch, where they are, and a site's own files.
#include "fixed_files.h"
#include "file_paths.h"
#include "report.h"
#include "shown.h"

fixed_files fixed_files_in(const std::string &scratch) {
    fixed_files fixed;
    if (scratch.empty())
        return fixed;
    fixed.scratch = scratch;
    fixed.soil = scratch + "/soils.in";
    fixed.temp = scratch + "/XXXX.sfp";
    return fixed;
}

std::string where_fixed_files_are(const fixed_files &fixed) {
    return fixed.scratch.empty() ? "in the working directory"
                                 : "in the scratch directory " + shown_name(fixed.scratch);
}

failure temp_copy_refusal(const fixed_files &fixed, bool taken_by_batch) {
    // A site file named like the copy is a collision the guard names, never
    // a leftover copy that the user would be told to remove.
    if (!os::name_taken(fixed.temp.c_str()) || taken_by_batch)
        return failure();
    return failed_with(format_message(temp_left_over_message, where_fixed_files_are(fixed).c_str(),
                                      fixed.temp.c_str()));
}

bool temp_copy_left_over(const fixed_files &fixed) {
    return os::name_taken(fixed.temp.c_str());
}
