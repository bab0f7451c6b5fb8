// The --failed file, kept so that at every moment it names at least every
// site of the run that is not prepared: written whole before the first
// site, then rewritten smaller, through a temporary name each time. An
// interrupt writes it from what was set up before, with async-signal-safe
// calls alone.
#include "failed_list.h"
#include "overwrite.h"
#include "process.h"
#include "report.h"
#include "signals.h"
#include "write_whole.h"

#include <atomic>
#include <chrono>
#include <vector>

namespace {

// How long a run goes between two writes of the list: a run killed
// outright (SIGKILL, the memory killer) lists at most this much of its
// work again.
constexpr auto refresh_interval = std::chrono::seconds(30);

struct failed_list {
    std::string path;
    std::string text;          // every line of the run, each with a line end
    std::vector<size_t> start; // where each line starts in text, then its end
    std::vector<size_t> failed;
    std::atomic<size_t> failed_count{0}, reached{0};
    // Written as it stood then; none yet.
    size_t written_failed = 0, written_reached = 0;
    bool written = false;
    bool renamed = false;               // put in place by a rename (not a device or a pipe)
    bool sync = false;                  // --sync
    std::string interrupt_temp, target; // the temporary name an interrupt writes, and the file
    std::chrono::steady_clock::time_point last_write;
};

failed_list list;

// The run's lines, each ending in a line end, and where each starts.
void gather_lines(const site_list &sites, std::string &text, std::vector<size_t> &start) {
    start.clear();
    text.clear();
    for (const listed_site &line : sites.lines) {
        start.push_back(text.size());
        text += line.text;
        if (line.text.empty() || line.text.back() != '\n')
            text += '\n';
    }
    start.push_back(text.size());
}

// The list as it stands, piece by piece to take (false: stop): the failed
// lines before reached, then every line from reached on. Safe in a signal
// handler.
template <typename Take> bool each_piece(size_t failed, size_t reached, Take take) {
    const char *text = list.text.data();
    for (size_t k = 0; k < failed; ++k)
        if (const size_t i = list.failed[k];
            i < reached && !take(text + list.start[i], list.start[i + 1] - list.start[i]))
            return false;
    return take(text + list.start[reached], list.text.size() - list.start[reached]);
}

// The list as it stands written through a temporary name; the failure.
os::result<void> write_list(size_t failed, size_t reached) {
    std::string text;
    each_piece(failed, reached, [&text](const char *piece, size_t size) {
        text.append(piece, size);
        return true;
    });
    os::result<void> written = os::write_through_temp(list.path, list.path + ".", text, list.sync);
    if (written) {
        list.written = true;
        list.written_failed = failed;
        list.written_reached = reached;
    }
    list.last_write = std::chrono::steady_clock::now();
    return written;
}

// The list as it stands, written as an interrupt ends the run: only
// async-signal-safe calls, on what was set up before. The file keeps its
// last content when this fails.
void write_at_interrupt() {
    os::write_file_in_handler(
        list.interrupt_temp.c_str(), list.target.c_str(), list.sync, [](int fd) {
            // Read in this order: a site noted failed after reached
            // was read is still among those from reached on.
            const size_t reached = list.reached.load(), failed = list.failed_count.load();
            return each_piece(failed, reached, [fd](const char *piece, size_t size) {
                return os::write_all(fd, std::string_view(piece, size)) == 0;
            });
        });
}

} // namespace

failure begin_failed_list(const std::string &path, const site_list &sites, bool sync) {
    list.path = path;
    list.sync = sync;
    gather_lines(sites, list.text, list.start);
    list.failed.assign(sites.lines.size(), 0);
    list.target = os::renamed_into_place(path);
    list.renamed = !list.target.empty();
    if (!list.renamed)
        return failure();
    if (const os::result<void> written = write_list(0, 0); !written)
        return not_written(path, written.err());
    // Made here, as the handler can make no name: unique to this process.
    list.interrupt_temp = list.target + ".siteprep-" + os::process_tag();
    os::at_interrupt(write_at_interrupt);
    return failure();
}

void note_failed_site(size_t i) {
    const size_t k = list.failed_count.load();
    list.failed[k] = i;
    list.failed_count.store(k + 1);
}

void note_sites_reached(size_t reached) {
    list.reached.store(reached);
    if (list.renamed && std::chrono::steady_clock::now() - list.last_write >= refresh_interval)
        // On a failure the last list still holds.
        (void)write_list(list.failed_count.load(), reached);
}

failure end_failed_list() {
    os::at_interrupt(nullptr);
    const size_t failed = list.failed_count.load(), reached = list.reached.load();
    if (list.written && failed == list.written_failed && reached == list.written_reached)
        return failure();
    if (const os::result<void> written = write_list(failed, reached); !written)
        return not_written(list.path, written.err());
    return failure();
}

failure list_every_site(const std::string &path, const site_list &sites, bool sync) {
    std::string text;
    std::vector<size_t> start;
    gather_lines(sites, text, start);
    const os::result<void> written = os::write_through_temp(path, path + ".", text, sync);
    return written ? failure() : not_written(path, written.err());
}
