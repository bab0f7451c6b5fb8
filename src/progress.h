// The progress line of a run on standard error.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct progress_line;
// A progress line for a run of total sites, or nullptr when it is off.
std::unique_ptr<progress_line, void (*)(progress_line *)> start_progress(bool on, size_t total);
// Shows that done sites are done and the next one is name.
void show_progress(progress_line *line, size_t done, const std::string &name);
// Clears the line.
void hide_progress(progress_line *line);
// Clears it when standard output goes to the same terminal, before a site
// may print there.
void hide_progress_for_output(progress_line *line);
