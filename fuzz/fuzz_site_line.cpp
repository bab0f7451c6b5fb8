// Fuzz target: the site list line parser.
#include "site_line.h"
#include "target.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view line(reinterpret_cast<const char *>(data), size);
    site_line site;
    std::string why;
    switch (parse_site_line(line, site, why)) {
    case parse_status::ok:
        // A name is one whole token.
        if (site.name.empty() || site.name.find_first_of(" \t\n\v\f\r") != std::string::npos)
            std::abort();
        break;
    case parse_status::blank:
        if (!is_blank(line))
            std::abort();
        break;
    case parse_status::bad:
        if (why.empty())
            std::abort();
        break;
    }
    return 0;
}
