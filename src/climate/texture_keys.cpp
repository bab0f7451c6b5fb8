// The texture-key pass: the soil parameters of a site file made to agree
// with the soil rows.
#include "texture_keys.h"
#include "create_site.h"
#include "tokens.h"

namespace {

constexpr const char *texture_keys[] = {"SAND", "SILT", "CLAY", "BULKD"};
constexpr int texture_key_count = 4;

} // namespace

std::string_view parameter_name(std::string_view line) {
    size_t pos = 0;
    next_token(line, pos);
    std::string_view name = next_token(line, pos);
    while (!name.empty() && (name.front() == '\'' || name.front() == '"'))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == '\'' || name.back() == '"'))
        name.remove_suffix(1);
    return name;
}

int texture_key_of_line(std::string_view line) {
    // Unlike the site keys, only the whole name counts: CLAY inside a
    // longer name (CLAYPAN) is another parameter.
    const std::string_view name = parameter_name(line);
    for (int k = 0; k < texture_key_count; ++k)
        if (name == texture_keys[k])
            return is_parameter_line(line) ? k : -1;
    return -1;
}

const char *texture_key_name(int key) {
    return texture_keys[key];
}

void create_texture_keys(const texture_values &values, std::string &said) {
    const float written[] = {values.sand, values.silt, values.clay, values.bulk_density};
    replace_key_lines(texture_key_of_line, texture_keys, written, said);
}
