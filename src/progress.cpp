// The progress line of a long run: sites done of the total, the site being
// prepared, time elapsed and an estimate of the time left, on standard
// error, rewritten in place and cleared at the end.
#include "progress.h"

#include <chrono>
#include <unistd.h>

using progress_clock = std::chrono::steady_clock;

struct progress_line {
    size_t total = 0;
    progress_clock::time_point start, last_drawn;
    bool shown = false;
    bool shares_terminal = false; // standard output goes to the same terminal
};

namespace {

std::string minutes_and_seconds(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    return std::to_string(s / 60) + ":" + (s % 60 < 10 ? "0" : "") + std::to_string(s % 60);
}

void end_progress(progress_line *line) {
    hide_progress(line);
    delete line;
}

} // namespace

std::unique_ptr<progress_line, void (*)(progress_line *)> start_progress(bool on, size_t total) {
    std::unique_ptr<progress_line, void (*)(progress_line *)> line(nullptr, end_progress);
    if (!on)
        return line;
    line.reset(new progress_line);
    line->total = total;
    line->start = progress_clock::now();
    line->shares_terminal = isatty(STDOUT_FILENO) && isatty(STDERR_FILENO);
    return line;
}

void show_progress(progress_line *line, size_t done, const std::string &name) {
    if (line == nullptr)
        return;
    const auto now = progress_clock::now();
    // A few times a second at most: a batch of small sites must not spend
    // its time drawing.
    if (line->shown && now - line->last_drawn < std::chrono::milliseconds(200))
        return;
    line->last_drawn = now;
    const double elapsed = std::chrono::duration<double>(now - line->start).count();
    std::string text = "\r\033[K" + std::to_string(done) + " of " + std::to_string(line->total) +
                       " sites done, now " + name + ", " + minutes_and_seconds(elapsed) +
                       " elapsed";
    if (done > 0)
        text += ", about " +
                minutes_and_seconds(elapsed / static_cast<double>(done) *
                                    static_cast<double>(line->total - done)) +
                " left";
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    line->shown = true;
}

void hide_progress_for_output(progress_line *line) {
    // On a terminal that standard output shares, messages would run into
    // the line: it is shown between sites only.
    if (line != nullptr && line->shares_terminal)
        hide_progress(line);
}

void hide_progress(progress_line *line) {
    if (line == nullptr || !line->shown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    line->shown = false;
}
