// Work done ahead of the main thread: while it rewrites one site, worker
// threads read the daily files of the next few sites and compute their
// statistics (or, for a check, check the next sites); the main thread, when
// the job it needs is not done, does the next unclaimed one itself rather
// than wait. Jobs only read; what they find is handed to the main thread,
// which reports it when it reaches that site, so that everything a user
// sees comes in the order and words of a run without them.
#include "work_ahead.h"
#include "process.h"
#include "threads.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

struct work_ahead {
    size_t count;
    size_t window;
    std::function<void(size_t)> job;
    std::mutex lock;
    std::condition_variable changed;
    size_t next = 0;  // the next job to claim
    size_t taken = 0; // jobs whose results the main thread is done with
    bool stopping = false;
    std::vector<char> done; // job i done, in slot i % window
    std::vector<os::thread> workers;
    // Workers started on cores of their own, and the cores to free them to.
    bool placed = false;
    cpu_set_t allowed;

    work_ahead(size_t jobs, int threads, std::function<void(size_t)> work)
        : count(jobs), window(work_ahead_window(threads)), job(std::move(work)), done(window) {}
};

namespace {

// Whether a job is left to claim within the window.
bool claimable(const work_ahead &w) {
    return w.next < w.count && w.next < w.taken + w.window;
}

// Claims the next job and does it, the lock released meanwhile.
void do_next(work_ahead &w, std::unique_lock<std::mutex> &hold) {
    const size_t i = w.next++;
    hold.unlock();
    w.job(i);
    hold.lock();
    w.done[i % w.window] = true;
    w.changed.notify_all();
}

// A worker: started on a core of its own (os::spread_threads), it frees
// itself to all of them once running.
void *work(void *shared) {
    work_ahead &w = *static_cast<work_ahead *>(shared);
    std::unique_lock<std::mutex> hold(w.lock); // held while the workers are placed
    if (w.placed)
        os::run_on(w.allowed);
    for (;;) {
        w.changed.wait(hold, [&w] { return w.stopping || claimable(w); });
        if (w.stopping)
            return nullptr;
        do_next(w, hold);
    }
}

void stop_work_ahead(work_ahead *w) {
    {
        std::lock_guard<std::mutex> hold(w->lock);
        w->stopping = true;
    }
    w->changed.notify_all();
    for (os::thread &t : w->workers)
        t.join();
    delete w;
}

} // namespace

size_t work_ahead_window(int threads) {
    return 2 * static_cast<size_t>(std::max(threads, 1)) + 2;
}

work_ahead_ptr start_work_ahead(size_t count, int threads, std::function<void(size_t)> job) {
    work_ahead_ptr w(new work_ahead(count, threads, std::move(job)), stop_work_ahead);
    w->workers.reserve(static_cast<size_t>(std::max(threads, 1)));
    {
        std::lock_guard<std::mutex> hold(w->lock);
        for (int t = 1; t < threads; ++t) { // the main thread is one of them
            os::result<os::thread> started = os::start_thread(work, w.get());
            if (!started)
                break; // no more threads to be had: the main thread does the rest
            w->workers.push_back(std::move(*started));
        }
        w->placed = os::spread_threads(w->workers, w->allowed);
    }
    return w;
}

void take_job(work_ahead &w, size_t i) {
    std::unique_lock<std::mutex> hold(w.lock);
    // Job i - 1's slot may now be used again. Idle workers are woken once
    // they are only half a window ahead, to claim several jobs a waking:
    // each waking costs the system calls of a wait and a wake.
    const bool refill = w.next < w.count && w.next <= i + w.window / 2;
    w.taken = i;
    if (refill)
        w.changed.notify_all();
    while (!w.done[i % w.window]) {
        if (claimable(w))
            do_next(w, hold);
        else
            w.changed.wait(hold);
    }
    w.done[i % w.window] = false;
}

int threads_for_descriptors(int threads, int per_worker, int main_needs) {
    const long limit = os::descriptor_limit();
    // A usual limit leaves room to spare: no need to count.
    if (threads <= 1 || limit < 0 || limit >= 64 + (threads + main_needs) * per_worker)
        return threads;
    const long spare = limit - os::descriptors_in_use(limit) - main_needs;
    return static_cast<int>(std::clamp<long>(1 + spare / per_worker, 1, threads));
}
