// The program-wide streams of the passes, set over memory for each pass.
#include "streams.h"
#include "text_streams.h"

#include <cerrno>
#include <new>
#include <string>

FILE *oldfp = nullptr;
os::out_stream *newfp = nullptr;

os::result<void> run_pass(std::string_view text, const std::function<void()> &pass,
                          std::string &result) {
    os::result<os::in_stream> from = os::open_text_input(text);
    if (!from)
        return from.error();
    os::text_output to;
    if (os::result<void> opened = to.open(); !opened)
        return opened;
    oldfp = from->get();
    newfp = &to.stream();
    os::result<void> done;
    // Memory that runs out in the pass, or as its text is taken, leaves
    // the site file to be restored: the pass failed, the run goes on.
    try {
        pass();
        const os::result<std::string_view> made = to.close();
        if (made)
            result.assign(*made);
        else
            done = made.error();
    } catch (const std::bad_alloc &) {
        done = os::sys_error{ENOMEM, "pass", std::string()};
    }
    oldfp = nullptr;
    newfp = nullptr;
    return done;
}
