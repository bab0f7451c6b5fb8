// Interrupts deferred for a scope: one that comes meanwhile ends the
// process only as the scope ends, however it ends.
#include "signals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>

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

} // namespace
