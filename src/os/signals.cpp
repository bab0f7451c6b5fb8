// Interrupts deferred while a file is written: a handler installed once
// notes a signal that comes meanwhile, and the process ends by it as soon
// as the write is done.
#include "signals.h"
#include "sys.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace os {

namespace {

const int deferred_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
// The scopes that defer interrupts now, on every thread, and the signal
// that came meanwhile (0: none): lock-free, so that a handler may use them.
std::atomic<int> deferring{0};
std::atomic<int> deferred{0};
static_assert(std::atomic<int>::is_always_lock_free);
void (*volatile last_words)() = nullptr;

// A temporary file that an interrupt removes before it ends the process.
char doomed_path[PATH_MAX];
volatile sig_atomic_t doomed = 0;

// Sets what a signal does: SIG_DFL or SIG_IGN.
void set_handler(int sig, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    os::sys::sigaction(sig, &action, nullptr);
}

// Ends the process as the signal would: after the last words, if any, said
// once, and the doomed temporary file removed, with the other signals
// waiting meanwhile. Only async-signal-safe calls.
void end_by(int sig) {
    sigset_t held, before;
    sigemptyset(&held);
    for (int s : deferred_signals)
        sigaddset(&held, s);
    os::sys::pthread_sigmask(SIG_BLOCK, &held, &before);
    if (void (*say)() = last_words; say != nullptr) {
        last_words = nullptr;
        say();
    }
    if (doomed)
        os::sys::unlink(doomed_path);
    set_handler(sig, SIG_DFL);
    os::sys::signal_process(sig);
    os::sys::pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

// Ends the process, or notes the signal while a write must not be cut.
// Noted, it is looked at again: a scope on another thread that ended
// meanwhile may not have seen it, and then the process ends here.
extern "C" void on_interrupt(int sig) {
    if (deferring.load() > 0) {
        deferred.store(sig);
        if (deferring.load() > 0)
            return;
    }
    end_by(sig);
}

// A handler for each signal that would end the process (one the process
// was started with ignored stays ignored), installed once: cheaper, site
// after site, than blocking and unblocking them. While it runs the others
// wait, so that last words are said once and whole.
void install_interrupt_handlers() {
    struct sigaction on = {}, before = {};
    on.sa_handler = on_interrupt;
    on.sa_flags = SA_RESTART;
    sigemptyset(&on.sa_mask);
    for (int sig : deferred_signals)
        sigaddset(&on.sa_mask, sig);
    for (int sig : deferred_signals)
        if (os::sys::sigaction(sig, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            os::sys::sigaction(sig, &on, nullptr);
}

void install_interrupt_handlers_once() {
    static const bool installed = (install_interrupt_handlers(), true);
    (void)installed;
}

} // namespace

os::deferred_interrupts::deferred_interrupts() {
    install_interrupt_handlers_once();
    deferring.fetch_add(1);
}

os::deferred_interrupts::~deferred_interrupts() {
    // The last scope to end, on any thread, ends the process by a signal
    // that came meanwhile.
    if (deferring.fetch_sub(1) != 1)
        return;
    if (const int sig = deferred.load(); sig != 0) {
        os::sys::fflush(stdout); // the messages so far, before the signal ends the run
        end_by(sig);
    }
}

bool interrupt_pending() {
    return deferred.load() != 0;
}

void remove_on_interrupt(const char *path) {
    install_interrupt_handlers_once();
    doomed = 0;
    if (path == nullptr || std::strlen(path) >= sizeof doomed_path)
        return;
    std::strcpy(doomed_path, path);
    doomed = 1;
}

void at_interrupt(void (*say)()) {
    install_interrupt_handlers_once();
    last_words = say;
}

void fail_writes_past_size_limit() {
    set_handler(SIGXFSZ, SIG_IGN);
}

} // namespace os
