// The fixed files of a batch, where they are.
#include "fixed_files.h"
#include "file_paths.h"
#include "report.h"
#include "shown.h"

#include <cstring>

namespace {
std::string scratch_dir, scratch_soil_file, scratch_temp_file;
} // namespace

const char *soil_file_name = "soils.in";
const char *temp_file_name = "XXXX.sfp";

void set_scratch_dir(const std::string &dir) {
    scratch_dir = dir;
    scratch_soil_file = dir + "/soils.in";
    scratch_temp_file = dir + "/XXXX.sfp";
    soil_file_name = scratch_soil_file.c_str();
    temp_file_name = scratch_temp_file.c_str();
}

std::string site_soil_file(const std::string &site_name) {
    return site_name + ".soils.in";
}

std::string where_fixed_files_are(const std::string &message) {
    static const std::string working = "in the working directory";
    const size_t at = message.find(working);
    if (scratch_dir.empty() || at == std::string::npos)
        return message;
    std::string moved = message;
    moved.replace(at, working.size(), "in the scratch directory " + shown_name(scratch_dir));
    // The copy's name in the rest of the message is its path there.
    for (size_t p = moved.find("XXXX.sfp", at + 1); p != std::string::npos;
         p = moved.find("XXXX.sfp", p + 1)) {
        if (p >= 1 && moved[p - 1] == '/')
            continue;
        moved.replace(p, 8, temp_file_name);
        p += std::strlen(temp_file_name) - 1;
    }
    return moved;
}

std::string temp_copy_refusal(bool taken_by_batch) {
    // A site file named like the copy is a collision the guard names, never
    // a leftover copy that the user would be told to remove.
    if (!name_taken(temp_file_name) || taken_by_batch)
        return std::string();
    return where_fixed_files_are(temp_left_over_message);
}

bool temp_copy_left_over() {
    return name_taken(temp_file_name);
}
