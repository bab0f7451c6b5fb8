// The program-wide streams of the passes, set over memory for each pass.
#include "streams.h"
#include "fd.h"
#include "text_streams.h"

#include <new>

FILE *oldfp = nullptr;
FILE *newfp = nullptr;

bool run_pass(std::string_view text, const std::function<void()> &pass, std::string &result) {
    FILE *from = open_text_input(text);
    text_output to;
    bool ok = from != nullptr && open_text_output(to);
    if (ok) {
        oldfp = from;
        newfp = to.fp;
        try {
            pass();
        } catch (const std::bad_alloc &) {
            ok = false;
        }
        oldfp = newfp = nullptr;
    }
    if (to.fp != nullptr) {
        std::string lost; // a failed pass's text
        ok = close_text_output(to, ok ? result : lost) && ok;
    }
    if (from != nullptr)
        close_input(from);
    return ok;
}
