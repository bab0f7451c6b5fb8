// The progress of a long run: sites done of the total, the site being
// prepared, time elapsed and an estimate of the time left, on standard
// error. On a terminal a line rewritten in place and cleared at the end;
// into a file or a pipe (a scheduler's log) plain lines, one every ten
// seconds at most, and a last one with the final count.
#include "progress.h"
#include "printer.h"
#include "process.h"

#include <cstdint>
#include <unistd.h>

struct progress_line {
    size_t total = 0;
    FILE *to = nullptr;
    bool terminal = false;
    std::function<progress_clock::time_point()> now;
    progress_clock::time_point start, last_drawn;
    bool shown = false;           // on a terminal: the line is there
    bool shares_terminal = false; // standard output goes to the same terminal
    size_t done = 0;              // the last count given
    size_t written = SIZE_MAX;    // into a file: the count of the last line
};

namespace {

// A terminal's line is redrawn a few times a second at most, so that a
// batch of small sites does not spend its time drawing; a file gets a line
// every ten seconds at most, so that a long run's log stays short.
constexpr auto terminal_interval = std::chrono::milliseconds(200);
constexpr auto file_interval = std::chrono::seconds(10);

std::string minutes_and_seconds(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    return std::to_string(s / 60) + ":" + (s % 60 < 10 ? "0" : "") + std::to_string(s % 60);
}

// "3 of 10 sites done, now NAME, 0:12 elapsed, about 0:28 left"; without a
// name, the count and the time elapsed alone.
std::string progress_text(const progress_line &line, progress_clock::time_point now,
                          const std::string *name) {
    const double elapsed = std::chrono::duration<double>(now - line.start).count();
    std::string text = std::to_string(line.done) + " of " + std::to_string(line.total) +
                       " sites done" + (name != nullptr ? ", now " + *name : std::string()) + ", " +
                       minutes_and_seconds(elapsed) + " elapsed";
    if (name != nullptr && line.done > 0)
        text += ", about " +
                minutes_and_seconds(elapsed / static_cast<double>(line.done) *
                                    static_cast<double>(line.total - line.done)) +
                " left";
    return text;
}

void put(progress_line &line, const std::string &text) {
    os::print_at_once(line.to, text);
}

void end_progress(progress_line *line) {
    hide_progress(line);
    delete line;
}

} // namespace

std::unique_ptr<progress_line, void (*)(progress_line *)> start_progress(bool on, size_t total) {
    return start_progress(on, total, stderr, os::is_terminal(STDERR_FILENO), progress_clock::now);
}

std::unique_ptr<progress_line, void (*)(progress_line *)>
start_progress(bool on, size_t total, FILE *to, bool terminal,
               std::function<progress_clock::time_point()> now) {
    std::unique_ptr<progress_line, void (*)(progress_line *)> line(nullptr, end_progress);
    if (!on)
        return line;
    line.reset(new progress_line);
    line->total = total;
    line->to = to;
    line->terminal = terminal;
    line->now = std::move(now);
    line->start = line->now();
    line->last_drawn = line->start;
    line->shares_terminal = terminal && os::is_terminal(STDOUT_FILENO);
    return line;
}

void show_progress(progress_line *line, size_t done, const std::string &name) {
    if (line == nullptr)
        return;
    line->done = done;
    const auto now = line->now();
    if (line->terminal) {
        if (line->shown && now - line->last_drawn < terminal_interval)
            return;
        put(*line, "\r\033[K" + progress_text(*line, now, &name));
        line->shown = true;
    } else {
        // Counted from the start: a short run writes its last line alone.
        if (now - line->last_drawn < file_interval)
            return;
        put(*line, progress_text(*line, now, &name) + "\n");
        line->written = done;
    }
    line->last_drawn = now;
}

void hide_progress_for_output(progress_line *line) {
    // On a terminal that standard output shares, messages would run into
    // the line: it is shown between sites only.
    if (line != nullptr && line->shares_terminal)
        hide_progress(line);
}

void hide_progress(progress_line *line) {
    if (line == nullptr)
        return;
    if (!line->terminal) {
        // A file keeps the last count.
        if (line->written != line->done)
            put(*line, progress_text(*line, line->now(), nullptr) + "\n");
        line->written = line->done;
        return;
    }
    if (!line->shown)
        return;
    put(*line, "\r\033[K");
    line->shown = false;
}

void finish_progress(progress_line *line, size_t done) {
    if (line == nullptr)
        return;
    line->done = done;
    hide_progress(line);
}
