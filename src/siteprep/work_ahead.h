// Work done ahead of the main thread on worker threads.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

// Jobs 0 to count - 1, done in order a few ahead of the main thread on
// threads in all, the main thread among them (1: no worker threads). Job i
// keeps its result in slot i % work_ahead_window(threads) of the caller's,
// which holds it from take_job(i) to take_job(i + 1).
struct work_ahead;
using work_ahead_ptr = std::unique_ptr<work_ahead, void (*)(work_ahead *)>;
size_t work_ahead_window(int threads);
// The threads to run on, fewer than asked where the limit of open files
// would not leave per_worker descriptors to each worker besides the
// main_needs of the main thread: a worker must never take what the main
// thread needs, so that every thread count gives the same run.
int threads_for_descriptors(int threads, int per_worker, int main_needs);
work_ahead_ptr start_work_ahead(size_t count, int threads, std::function<void(size_t)> job);
// Returns when job i is done, doing jobs itself meanwhile; jobs are taken
// in order.
void take_job(work_ahead &w, size_t i);
