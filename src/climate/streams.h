// The program-wide streams of the passes over a site's files, and the one
// place that sets them: a pass run over a text in memory.
#pragma once

#include "fd.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

// The file being read and the file being written by the current pass
// (create_soil writes newfp; create_site and weather read oldfp and write
// newfp); only run_pass sets them, for the time of the pass. newfp keeps
// its first write failure.
extern FILE *oldfp;
extern os::out_stream *newfp;

// Runs a pass with oldfp reading text and newfp writing into memory; its
// new text goes to result. The failure when memory ran out (in the pass,
// or for the streams or a write into memory; result is then left as it
// was): a pass fails no other way.
os::result<void> run_pass(std::string_view text, const std::function<void()> &pass,
                          std::string &result);
