// The messages that the run and the check share, and the end of a run or a
// check that ran out of memory.
#pragma once

inline constexpr char list_open_message[] = "Error opening data input file!";
inline constexpr char site_line_message[] = "Error in site list %s line %ld: %s";
inline constexpr char soil_open_message[] = "Error opening soils.in file for %s!";
inline constexpr char keys_site_open_message[] = "Error opening <%s>.sfp file!";
inline constexpr char keys_temp_open_message[] = "Error opening temporary file for %s!";
inline constexpr char weather_open_message[] = "Error opening weather data file for %s site!";
inline constexpr char weather_line_message[] = "Error in weather data file %s line %ld: %s";
inline constexpr char site_file_line_message[] = "Error in site parameter file %s line %ld: %s";
inline constexpr char read_message[] = "Error reading %s: %s";
inline constexpr char temp_left_over_message[] =
    "XXXX.sfp already exists in the working directory. It may hold the only intact copy of a "
    "site parameter file from an interrupted run: compare it with that site's .sfp file, keep "
    "the intact one, then remove or rename XXXX.sfp and run again.";

// Says that memory ran out and the run or check stopped; the exit status.
// Every site file is whole then: a rewrite restores its own.
int say_out_of_memory();
