// The check: every problem a run of the batch would meet, writing no
// site file.
#pragma once

#include "fixed_files.h"
#include "site.h"
#include "site_list.h"

struct batch_outputs;

// Checks every site of the list, writing nothing, on that many threads;
// the exit status. With strict, warnings count as problems; with
// keep_soils, the files --keep-soils would write are guarded too; with
// progress, a progress line goes to standard error; part is the part of
// the list checked (--part); fixed, where the batch's fixed files are;
// extras, the site files --template would make (listed) and whether
// --texture-keys sets the soil keys; weather, how the statistics are made.
int check_batch(const char *list_path, bool strict, bool keep_soils, int threads, bool progress,
                batch_outputs *outputs, const list_part &part, const fixed_files &fixed,
                const site_extras &extras, const weather_options &weather);
