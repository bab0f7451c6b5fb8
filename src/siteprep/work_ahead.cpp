// Work done ahead of the main thread: while it rewrites one site, worker
// threads read the daily files of the next few sites and compute their
// statistics (or, for a check, check the next sites); the main thread, when
// the job it needs is not done, does the next unclaimed one itself rather
// than wait. Jobs only read; what they find is handed to the main thread,
// which reports it when it reaches that site, so that everything a user
// sees comes in the order and words of a run without them.
#include "work_ahead.h"
#include "process.h"

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <system_error>
#include <thread>

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
    std::vector<std::thread> workers;
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

void work(work_ahead &w) {
    std::unique_lock<std::mutex> hold(w.lock); // held while the workers are placed
    if (w.placed)
        pthread_setaffinity_np(pthread_self(), sizeof w.allowed, &w.allowed);
    for (;;) {
        w.changed.wait(hold, [&w] { return w.stopping || claimable(w); });
        if (w.stopping)
            return;
        do_next(w, hold);
    }
}

// The scheduler puts a new thread where it finds least load, which, as a
// run starts, is often the main thread's own core: the two then share it
// for milliseconds. Each worker is started on another core, round the
// cores this process may use; it frees itself to all of them once running.
void place_workers(work_ahead &w) {
    const int here = sched_getcpu();
    if (here < 0 || sched_getaffinity(0, sizeof w.allowed, &w.allowed) != 0)
        return;
    std::vector<int> others;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (cpu != here && CPU_ISSET(cpu, &w.allowed))
            others.push_back(cpu);
    if (others.empty())
        return;
    for (size_t t = 0; t < w.workers.size(); ++t) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(others[t % others.size()], &one);
        pthread_setaffinity_np(w.workers[t].native_handle(), sizeof one, &one);
    }
    w.placed = true;
}

void stop_work_ahead(work_ahead *w) {
    {
        std::lock_guard<std::mutex> hold(w->lock);
        w->stopping = true;
    }
    w->changed.notify_all();
    for (std::thread &t : w->workers)
        t.join();
    delete w;
}

} // namespace

size_t work_ahead_window(int threads) {
    return 2 * static_cast<size_t>(std::max(threads, 1)) + 2;
}

work_ahead_ptr start_work_ahead(size_t count, int threads, std::function<void(size_t)> job) {
    work_ahead_ptr w(new work_ahead(count, threads, std::move(job)), stop_work_ahead);
    // Interrupts must reach the main thread alone, which defers them while
    // it rewrites a file: workers start with every signal blocked.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    {
        std::lock_guard<std::mutex> hold(w->lock);
        for (int t = 1; t < threads; ++t) { // the main thread is one of them
            try {
                w->workers.emplace_back(work, std::ref(*w));
            } catch (const std::exception &) { // std::system_error, std::bad_alloc
                break; // no more threads to be had: the main thread does the rest
            }
        }
        place_workers(*w);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
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
    const long limit = descriptor_limit();
    // A usual limit leaves room to spare: no need to count.
    if (threads <= 1 || limit < 0 || limit >= 64 + (threads + main_needs) * per_worker)
        return threads;
    const long spare = limit - descriptors_in_use(limit) - main_needs;
    return static_cast<int>(std::clamp<long>(1 + spare / per_worker, 1, threads));
}
