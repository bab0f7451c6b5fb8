// Interrupts deferred for a scope: one that comes meanwhile ends the
// process only as the scope ends, however it ends.
#include "signals.h"
#include "threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sched.h>
#include <unistd.h>

namespace {

void interrupted_in_scope(bool throws) {
    try {
        os::deferred_interrupts meanwhile;
        std::raise(SIGTERM);
        std::fprintf(stderr, "the scope goes on\n");
        if (throws)
            throw std::bad_alloc();
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "caught\n");
    }
    std::fprintf(stderr, "after the scope\n");
    std::exit(0);
}

TEST(DeferredInterrupts, AnInterruptEndsTheProcessAsTheScopeEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(interrupted_in_scope(false), testing::KilledBySignal(SIGTERM),
                "^the scope goes on\n$");
    // Left by an exception, the scope no longer leaves interrupts waiting.
    EXPECT_EXIT(interrupted_in_scope(true), testing::KilledBySignal(SIGTERM),
                "^the scope goes on\n$");
}

// Scopes on two threads: an interrupt that comes while both defer it ends
// the process as the last of them ends, here on a thread that blocks
// every signal, as the process's other threads do.
std::atomic<bool> second_began{false}, first_ended{false};

void *second_scope(void *) {
    os::deferred_interrupts meanwhile;
    second_began = true;
    while (!first_ended.load())
        sched_yield();
    std::fprintf(stderr, "the second scope ends\n");
    return nullptr;
}

void interrupted_in_two_scopes() {
    os::thread other;
    {
        os::deferred_interrupts meanwhile;
        os::result<os::thread> started = os::start_thread(second_scope, nullptr);
        if (!started)
            std::exit(2);
        other = std::move(*started);
        while (!second_began.load())
            sched_yield();
        kill(getpid(), SIGTERM);
        std::fprintf(stderr, "the first scope goes on\n");
    }
    std::fprintf(stderr, "after the first scope\n");
    first_ended = true;
    other.join();
    std::fprintf(stderr, "after both\n");
    std::exit(0);
}

TEST(DeferredInterrupts, TheLastScopeOfAnyThreadEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(interrupted_in_two_scopes(), testing::KilledBySignal(SIGTERM),
                "^the first scope goes on\nafter the first scope\nthe second scope ends\n$");
}

} // namespace
