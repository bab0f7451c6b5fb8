// The audit of a site file: what the keyword, block and soil steps will do
// to it.
#include "create_site.h"
#include "create_soil.h"
#include "fd.h"
#include "findings.h"
#include "lines.h"
#include "shown.h"
#include "text_streams.h"
#include "texture_keys.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace {

// The soil parameters of a site file that its site-list line also gives:
// SAND, SILT, CLAY and BULKD.
constexpr size_t soil_key_count = 4;

// What the audit gathers from a site file's lines.
struct site_file_audit {
    long number = 0; // lines read
    bool newline = false, carriage = false;
    site_file_findings all;
    std::vector<std::string> lost_keys;
    float listed[soil_key_count] = {}; // the list's values of the soil keys
    bool replaced = false;             // --texture-keys replaces those lines
};

// The list's values of the soil keys: its texture as the soil rows take
// it, and its bulk density as given (the rows use one computed from the
// texture, so the list's is the one to agree with the file's).
void take_listed_soil(site_file_audit &s, const site_line &site) {
    float sand = site.sand, silt = site.silt, clay = site.clay;
    normalise_texture(sand, silt, clay);
    const float values[soil_key_count] = {sand, silt, clay, site.bulk_density};
    std::copy(std::begin(values), std::end(values), s.listed);
}

// Half a unit of a number's last printed place (0.50000: 0.000005, 1.3e2: 5):
// the file's value agrees with any value that prints as it does.
double half_last_place(std::string_view number) {
    const size_t e = std::min(number.find_first_of("eE"), number.size());
    const size_t dot = number.substr(0, e).find('.');
    const long decimals = dot == std::string_view::npos ? 0 : static_cast<long>(e - dot - 1);
    int exponent = 0;
    if (e < number.size() && !parse_int(number.substr(e + 1), exponent))
        exponent = 0;
    return 0.5 * std::pow(10.0, static_cast<double>(exponent - decimals));
}

bool in_block(long number) {
    return number >= block_first_line && number <= block_last_line;
}

// A SAND, SILT, CLAY or BULKD line whose value the list's does not print as.
void compare_soil_value(site_file_audit &s, std::string_view line, long number) {
    const int k = texture_key_of_line(line);
    if (k < 0 || s.replaced)
        return;
    size_t pos = 0;
    const std::string_view token = next_token(line, pos);
    const double listed = static_cast<double>(s.listed[k]);
    float value;
    // A texture that sums to 0 has a warning of its own.
    if (!parse_float(token, value) || !std::isfinite(listed))
        return;
    // Beyond the printed place, room for the float roundings of both.
    const double room = half_last_place(token) + 1e-6 * std::max(1.0, std::fabs(listed));
    if (!(std::fabs(static_cast<double>(value) - listed) <= room))
        s.all.note(soil_values, number,
                   format_message("%s %s (the list: %g)", texture_key_name(k),
                                  std::string(token).c_str(), listed));
}

void audit_site_file_line(site_file_audit &s, std::string_view line) {
    const long number = ++s.number;
    compare_soil_value(s, line, number);
    s.newline = s.newline || line.back() == '\n';
    s.carriage = s.carriage || line.find('\r') != std::string_view::npos;
    if (const int key = site_key_of_line(line); key >= 0) {
        if (parameter_name(line) != site_key_name(key))
            s.all.note(renamed_key, number, site_key_name(key));
        if (in_block(number))
            s.lost_keys.push_back(site_key_name(key));
    }
    bool block_like = false;
    for (const char *n : block_names)
        block_like = block_like || line.find(n) != std::string_view::npos;
    if (in_block(number) && !block_like)
        s.all.note(not_block, number);
}

// "PRECIP, PRCSTD, PRCSKW, TMN2M or TMX2M"
std::string block_names_listed() {
    std::string text;
    for (int i = 0; i < block_series; ++i)
        text += std::string(i == 0 ? "" : i + 1 == block_series ? " or " : ", ") + block_names[i];
    return text;
}

void word_site_file(site_file_audit &s, const std::string &listed_as) {
    finding &too_short = s.all.of[short_file], &renamed = s.all.of[renamed_key];
    finding &unlike_block = s.all.of[not_block], &soil = s.all.of[soil_values];
    if (s.number > 0 && s.number < block_last_line) {
        too_short.count = 1;
        too_short.text = format_message(
            "the site file has %ld lines, fewer than %d: the weather block replaces lines %d to "
            "its end",
            s.number, block_last_line, block_first_line);
        if (!s.lost_keys.empty())
            too_short.text += ", and the site key lines among them (" +
                              joined(s.lost_keys, static_cast<long>(s.lost_keys.size())) +
                              ") are lost after their Update line";
    }
    renamed.text = "a line that will be replaced by a site key line although its name is not "
                   "the key (" +
                   joined(renamed.items, renamed.count) +
                   "): the key was found inside a longer name or a comment, and the line's "
                   "own parameter is lost";
    unlike_block.text =
        format_message("lines %d to %d that do not look like a weather block "
                       "(no %s): the block replaces them all the same",
                       block_first_line, block_last_line, block_names_listed().c_str());
    soil.text =
        "soil values that disagree with " + listed_as +
        " (its texture in fractions, as the soil rows take it): " + joined(soil.items, soil.count) +
        "; soils.in is made from the list, and the run leaves these lines as they are";
}

} // namespace

std::vector<std::string> audit_site_file(const std::string &text, const std::string &site_file,
                                         const site_line &site, const std::string &listed_as,
                                         bool soil_keys_replaced) {
    const os::result<os::in_stream> in = os::open_text_input(text);
    if (!in)
        return {};
    os::line_reader reader(in->get(), os::max_text_line);
    site_file_audit s;
    take_listed_soil(s, site);
    s.replaced = soil_keys_replaced;
    for (std::string_view line; os::next_line(reader, line);)
        audit_site_file_line(s, line);
    word_site_file(s, listed_as);
    std::vector<std::string> warnings = warnings_of(site_file, s.all.of);
    if (s.carriage && !s.newline)
        warnings.push_back("Warning: " + site_file +
                           ": line ends are CR alone (old Mac style): the site keys are not "
                           "found and the weather block is added after the whole file");
    return warnings;
}
