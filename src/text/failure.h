// What went wrong, as the step where it happened words it: the one failure
// type of both programs at the level of a site or a command. A step that
// succeeds gives one without a message.
#pragma once

#include <string>

struct [[nodiscard]] failure {
    std::string message;
    std::string after = {};   // what was done about it, said after it (a restore)
    bool stops_batch = false; // no further site may run (a copy had to be kept)

    bool failed() const { return !message.empty(); }
};
