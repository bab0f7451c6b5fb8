// Reading daily weather files ahead: while the main thread rewrites one
// site, worker threads read the daily files of the next few sites and
// compute their statistics; the main thread, when the site it needs is not
// ready, reads the next unclaimed one itself rather than wait. Readers only
// read; what they find is handed to the main thread, which reports it when
// it reaches that site, so that everything a user sees comes in the order
// and words of a run without them.
#include "siteprep.h"

#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>

site_weather read_weather(const site_line &site) {
    site_weather result;
    const std::string weather_file = site.name + ".wth";
    std::string why;
    FILE *wthfp = open_weather_file(weather_file, -1, why);
    if (wthfp == nullptr) {
        result.failure = format_message(weather_open_message, site.name.c_str()) + "\n" +
                         weather_file + ": " + why;
        return result;
    }
    result.has_id = id_of_fd(fileno(wthfp), result.id);
    daily_error bad;
    const bool ok = compute_weather(wthfp, result.ws, bad);
    close_input(wthfp);
    if (!ok)
        result.failure =
            bad.line > 0 ? format_message(weather_line_message, weather_file.c_str(), bad.line,
                                          bad.reason.c_str())
                         : format_message(read_message, weather_file.c_str(), bad.reason.c_str());
    return result;
}

struct read_ahead {
    const std::vector<listed_site> &sites;
    size_t window;
    std::mutex lock;
    std::condition_variable changed;
    size_t next = 0;  // the next site a worker takes
    size_t taken = 0; // sites the main thread has taken
    bool stopping = false;
    struct slot {
        bool ready = false;
        site_weather weather;
    };
    std::vector<slot> slots; // site i in slot i % window
    std::vector<std::thread> workers;
    bool placed =
        false; // workers started on cores of their own; allowed: the cores to free them to
    cpu_set_t allowed;

    read_ahead(const std::vector<listed_site> &list, int threads)
        : sites(list), window(2 * static_cast<size_t>(threads) + 2), slots(window) {}
};

namespace {

// Whether a site is left to claim within the window.
bool claimable(const read_ahead &ra) {
    return ra.next < ra.sites.size() && ra.next < ra.taken + ra.window;
}

// Claims the next site and reads it, the lock released meanwhile.
void read_next(read_ahead &ra, std::unique_lock<std::mutex> &hold) {
    const size_t i = ra.next++;
    hold.unlock();
    site_weather weather;
    if (ra.sites[i].problem.empty()) // a bad line stops the run before its site
        weather = read_weather(ra.sites[i].site);
    hold.lock();
    ra.slots[i % ra.window].weather = std::move(weather);
    ra.slots[i % ra.window].ready = true;
    ra.changed.notify_all();
}

void work(read_ahead &ra) {
    std::unique_lock<std::mutex> hold(ra.lock); // held while the workers are placed
    if (ra.placed)
        pthread_setaffinity_np(pthread_self(), sizeof ra.allowed, &ra.allowed);
    for (;;) {
        ra.changed.wait(hold, [&ra] { return ra.stopping || claimable(ra); });
        if (ra.stopping)
            return;
        read_next(ra, hold);
    }
}

// The scheduler puts a new thread where it finds least load, which, as a
// run starts, is often the main thread's own core: the two then share it
// for milliseconds. Each worker is started on another core, round the
// cores this process may use; it frees itself to all of them once running.
void place_workers(read_ahead &ra) {
    const int here = sched_getcpu();
    if (here < 0 || sched_getaffinity(0, sizeof ra.allowed, &ra.allowed) != 0)
        return;
    std::vector<int> others;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (cpu != here && CPU_ISSET(cpu, &ra.allowed))
            others.push_back(cpu);
    if (others.empty())
        return;
    for (size_t t = 0; t < ra.workers.size(); ++t) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(others[t % others.size()], &one);
        pthread_setaffinity_np(ra.workers[t].native_handle(), sizeof one, &one);
    }
    ra.placed = true;
}

} // namespace

std::unique_ptr<read_ahead, void (*)(read_ahead *)>
start_read_ahead(const std::vector<listed_site> &sites, int threads) {
    auto ra = std::unique_ptr<read_ahead, void (*)(read_ahead *)>(new read_ahead(sites, threads),
                                                                  stop_read_ahead);
    // Interrupts must reach the main thread alone, which defers them while
    // it rewrites a file: workers start with every signal blocked.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    {
        std::lock_guard<std::mutex> hold(ra->lock);
        for (int t = 1; t < threads; ++t) // the main thread is one of them
            ra->workers.emplace_back(work, std::ref(*ra));
        place_workers(*ra);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return ra;
}

site_weather take_weather(read_ahead &ra, size_t i) {
    std::unique_lock<std::mutex> hold(ra.lock);
    read_ahead::slot &s = ra.slots[i % ra.window];
    while (!s.ready) {
        if (claimable(ra))
            read_next(ra, hold);
        else
            ra.changed.wait(hold);
    }
    site_weather weather = std::move(s.weather);
    s.ready = false;
    ra.taken = i + 1;
    ra.changed.notify_all();
    return weather;
}

void stop_read_ahead(read_ahead *ra) {
    {
        std::lock_guard<std::mutex> hold(ra->lock);
        ra->stopping = true;
    }
    ra->changed.notify_all();
    for (std::thread &t : ra->workers)
        t.join();
    delete ra;
}
