// The progress of a run or a check on standard error.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

using progress_clock = std::chrono::steady_clock;

struct progress_line;
// A progress line for a run of total sites, or nullptr when it is off: on
// standard error, as on a terminal when it is one.
std::unique_ptr<progress_line, void (*)(progress_line *)> start_progress(bool on, size_t total);
// The same into to, as on a terminal or not, with the time taken from now.
std::unique_ptr<progress_line, void (*)(progress_line *)>
start_progress(bool on, size_t total, FILE *to, bool terminal,
               std::function<progress_clock::time_point()> now);
// Shows that done sites are done and the next one is name.
void show_progress(progress_line *line, size_t done, const std::string &name);
// Clears the line on a terminal; elsewhere writes the last count given,
// unless its line is written.
void hide_progress(progress_line *line);
// The same after the last site, done sites done in all.
void finish_progress(progress_line *line, size_t done);
// Clears it when standard output goes to the same terminal, before a site
// may print there.
void hide_progress_for_output(progress_line *line);
