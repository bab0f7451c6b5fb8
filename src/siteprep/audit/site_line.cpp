// The audit of a site-list line: values out of their range.
#include "audit.h"
#include "shown.h"

std::vector<std::string> audit_site_line(const site_line &site, const char *list_path,
                                         long line_number) {
    std::vector<std::string> said;
    if (!(site.latitude >= -90 && site.latitude <= 90))
        said.push_back("a latitude outside -90 to 90");
    if (!(site.longitude >= -180 && site.longitude <= 360))
        said.push_back("a longitude outside -180 to 360");
    if (site.sand < 0 || site.silt < 0 || site.clay < 0)
        said.push_back("a negative sand, silt or clay content");
    if (site.sand + site.silt + site.clay == 0)
        said.push_back("a texture that sums to 0 (the soil rows read nan)");
    for (std::string &s : said)
        s = format_message("Warning: %s line %ld: %s", list_path, line_number, s.c_str());
    return said;
}
