// The program-wide streams of the passes, set over memory for each pass.
#include "streams.h"
#include "text_streams.h"

#include <new>

FILE *oldfp = nullptr;
os::out_stream *newfp = nullptr;

bool run_pass(std::string_view text, const std::function<void()> &pass, std::string &result) {
    os::result<os::in_stream> from = os::open_text_input(text);
    os::text_output to;
    if (!from || !to.open())
        return false;
    oldfp = from->get();
    newfp = &to.stream();
    bool ok = true;
    // Memory that runs out in the pass, or as its text is taken, leaves
    // the site file to be restored: the pass failed, the run goes on.
    try {
        pass();
        const os::result<std::string_view> made = to.close();
        ok = made.ok();
        if (ok)
            result.assign(*made);
    } catch (const std::bad_alloc &) {
        ok = false;
    }
    oldfp = nullptr;
    newfp = nullptr;
    return ok;
}
