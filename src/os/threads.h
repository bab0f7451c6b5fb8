// Threads of the process: started with every signal blocked, so that
// interrupts reach the main thread alone (which defers them while it
// writes a file), joined by their owner, and placed on cores.
#pragma once

#include "result.h"

#include <pthread.h>
#include <sched.h>
#include <vector>

namespace os {

// A thread started, joined when its owner lets it go.
class thread {
  public:
    thread() = default;
    thread(thread &&other) noexcept : id_(other.id_), running_(other.running_) {
        other.running_ = false;
    }
    thread &operator=(thread &&other) noexcept;
    ~thread() { join(); }
    thread(const thread &) = delete;
    thread &operator=(const thread &) = delete;

    // Waits for it to end.
    void join();

  private:
    friend result<thread> start_thread(void *(*)(void *), void *);
    friend bool spread_threads(const std::vector<thread> &, cpu_set_t &);
    pthread_t id_{};
    bool running_ = false;
};

// Starts a thread running body(argument); the failure when the system
// gives no more (EAGAIN).
result<thread> start_thread(void *(*body)(void *), void *argument);

// The cores this process may run on (1 when it cannot be told).
int usable_cores();

// A new thread is often put on the core of the thread that starts it, and
// the two share it for milliseconds: each of threads is moved to a core of
// its own other than the caller's, round the cores the process may use,
// which are left in allowed for each to free itself to (run_on) once it
// runs. False, with nothing moved, where that cannot be told.
bool spread_threads(const std::vector<thread> &threads, cpu_set_t &allowed);
// The calling thread free to run on any core of allowed.
void run_on(const cpu_set_t &allowed);

} // namespace os
