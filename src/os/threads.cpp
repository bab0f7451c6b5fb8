// Threads of the process, started, joined and placed through the seam.
#include "threads.h"
#include "sys.h"

#include <csignal>

namespace os {

thread &thread::operator=(thread &&other) noexcept {
    if (this != &other) {
        join();
        id_ = other.id_;
        running_ = other.running_;
        other.running_ = false;
    }
    return *this;
}

void thread::join() {
    if (running_)
        sys::pthread_join(id_);
    running_ = false;
}

result<thread> start_thread(void *(*body)(void *), void *argument) {
    // A thread starts with the mask of the one that starts it.
    sigset_t all, before;
    sigfillset(&all);
    sys::pthread_sigmask(SIG_BLOCK, &all, &before);
    thread started;
    const int err = sys::pthread_create(&started.id_, body, argument);
    sys::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (err != 0)
        return sys_error{err, "pthread_create", std::string()};
    started.running_ = true;
    return started;
}

int usable_cores() {
    cpu_set_t cores;
    if (sys::sched_getaffinity(cores) != 0)
        return 1;
    return CPU_COUNT(&cores);
}

bool spread_threads(const std::vector<thread> &threads, cpu_set_t &allowed) {
    const int here = sys::sched_getcpu();
    if (here < 0 || sys::sched_getaffinity(allowed) != 0)
        return false;
    std::vector<size_t> others;
    for (size_t cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (cpu != static_cast<size_t>(here) && CPU_ISSET(cpu, &allowed))
            others.push_back(cpu);
    if (others.empty())
        return false;
    for (size_t t = 0; t < threads.size(); ++t) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(others[t % others.size()], &one);
        sys::pthread_setaffinity_np(threads[t].id_, one);
    }
    return true;
}

void run_on(const cpu_set_t &allowed) {
    sys::pthread_setaffinity_np(sys::pthread_self(), allowed);
}

} // namespace os
