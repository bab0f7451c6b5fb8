// Units as CF files write them (UDUNITS strings) for the few quantities a
// daily file needs, and the cell methods of a variable.
#include "cf_units.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace import::cf {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A unit's dimensions (mass, length, time exponents) and its size in kg,
// m and s.
struct dimensions {
    int mass = 0, length = 0, time = 0;
    double scale = 1;
};

struct named_unit {
    const char *name;
    dimensions of;
};

const named_unit base_units[] = {
    {"kg", {1, 0, 0, 1}},
    {"g", {1, 0, 0, 1e-3}},
    {"m", {0, 1, 0, 1}},
    {"meter", {0, 1, 0, 1}},
    {"metre", {0, 1, 0, 1}},
    {"mm", {0, 1, 0, 1e-3}},
    {"millimeter", {0, 1, 0, 1e-3}},
    {"millimetre", {0, 1, 0, 1e-3}},
    {"cm", {0, 1, 0, 1e-2}},
    {"centimeter", {0, 1, 0, 1e-2}},
    {"centimetre", {0, 1, 0, 1e-2}},
    {"km", {0, 1, 0, 1e3}},
    {"kilometer", {0, 1, 0, 1e3}},
    {"kilometre", {0, 1, 0, 1e3}},
    {"s", {0, 0, 1, 1}},
    {"sec", {0, 0, 1, 1}},
    {"second", {0, 0, 1, 1}},
    {"min", {0, 0, 1, 60}},
    {"minute", {0, 0, 1, 60}},
    {"h", {0, 0, 1, 3600}},
    {"hr", {0, 0, 1, 3600}},
    {"hour", {0, 0, 1, 3600}},
    {"d", {0, 0, 1, 86400}},
    {"day", {0, 0, 1, 86400}},
};

bool base_unit(std::string name, dimensions &d) {
    for (int pass = 0; pass < 2; ++pass) {
        for (const named_unit &u : base_units)
            if (name == u.name) {
                d = u.of;
                return true;
            }
        // A plural: "days", "meters".
        if (name.size() < 3 || name.back() != 's')
            return false;
        name.pop_back();
    }
    return false;
}

// One factor, "m2", "m-2", "m^-2", "m**-2": its name and exponent.
bool parse_factor(std::string_view token, std::string &name, int &exponent) {
    size_t i = 0;
    while (i < token.size() && std::isalpha(static_cast<unsigned char>(token[i])))
        ++i;
    name = lower(token.substr(0, i));
    std::string_view rest = token.substr(i);
    if (rest.starts_with("**"))
        rest.remove_prefix(2);
    else if (rest.starts_with("^"))
        rest.remove_prefix(1);
    exponent = 1;
    if (rest.empty())
        return !name.empty();
    const bool negative = rest.front() == '-';
    if (negative || rest.front() == '+')
        rest.remove_prefix(1);
    if (rest.size() != 1 || !std::isdigit(static_cast<unsigned char>(rest[0])))
        return false;
    exponent = (negative ? -1 : 1) * (rest[0] - '0');
    return !name.empty();
}

// A product of factors, "kg m-2 s-1", "kg/m2/s", "mm.day-1", "mm/day": a
// factor after '/' is divided by.
bool parse_product(std::string_view units, dimensions &total) {
    total = dimensions{};
    bool any = false, divide = false;
    for (size_t i = 0; i < units.size();) {
        const char c = units[i];
        if (std::isspace(static_cast<unsigned char>(c)) || c == '.' ||
            (c == '*' && units.substr(i, 2) != "**")) {
            ++i;
            continue;
        }
        if (c == '/') {
            divide = true;
            ++i;
            continue;
        }
        size_t end = i;
        while (end < units.size() && !std::isspace(static_cast<unsigned char>(units[end])) &&
               units[end] != '/' && units[end] != '.' &&
               (units[end] != '*' || units.substr(end, 2) == "**"))
            end += units.substr(end, 2) == "**" ? size_t{2} : size_t{1};
        std::string name;
        int exponent = 0;
        dimensions d;
        if (!parse_factor(units.substr(i, end - i), name, exponent) || !base_unit(name, d))
            return false;
        if (divide)
            exponent = -exponent;
        divide = false;
        total.mass += d.mass * exponent;
        total.length += d.length * exponent;
        total.time += d.time * exponent;
        for (int k = 0; k < std::abs(exponent); ++k)
            total.scale = exponent > 0 ? total.scale * d.scale : total.scale / d.scale;
        any = true;
        i = end;
    }
    return any && !divide;
}

// The name without spaces and underscores, in lower case: "degree_Celsius"
// and "deg C" become "degreecelsius" and "degc".
std::string squeezed(std::string_view units) {
    std::string out;
    for (char c : units)
        if (!std::isspace(static_cast<unsigned char>(c)) && c != '_')
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool one_of(const std::string &name, std::initializer_list<const char *> names) {
    return std::any_of(names.begin(), names.end(), [&](const char *n) { return name == n; });
}

} // namespace

bool parse_temperature_unit(std::string_view units, temperature_unit &unit) {
    const std::string u = squeezed(units);
    if (one_of(u,
               {"k", "kelvin", "degk", "degreek", "degreesk", "degreekelvin", "degreeskelvin"})) {
        unit = {-273.15, 1};
        return true;
    }
    if (one_of(u, {"c",
                   "\xc2\xb0"
                   "c",
                   "celsius", "degc", "degreec", "degreesc", "degreecelsius", "degreescelsius"})) {
        unit = {0, 1};
        return true;
    }
    if (one_of(u, {"f",
                   "\xc2\xb0"
                   "f",
                   "fahrenheit", "degf", "degreef", "degreesf", "degreefahrenheit",
                   "degreesfahrenheit"})) {
        unit = {-32, 5.0 / 9.0};
        return true;
    }
    return false;
}

bool parse_precipitation_unit(std::string_view units, precipitation_unit &unit) {
    dimensions d;
    if (!parse_product(units, d))
        return false;
    // A mass of water on an area is its depth: 1 kg m-2 is 1 mm.
    double mm = 0;
    if (d.mass == 0 && d.length == 1)
        mm = d.scale * 1000;
    else if (d.mass == 1 && d.length == -2)
        mm = d.scale;
    else
        return false;
    if (d.time != 0 && d.time != -1)
        return false;
    unit = {mm, d.time == -1};
    return true;
}

bool parse_length_unit(std::string_view units, double &metres) {
    dimensions d;
    if (!parse_product(units, d) || d.mass != 0 || d.length != 1 || d.time != 0)
        return false;
    metres = d.scale;
    return true;
}

bool is_latitude_unit(std::string_view units) {
    for (const char *u :
         {"degrees_north", "degree_north", "degree_N", "degrees_N", "degreeN", "degreesN"})
        if (units == u)
            return true;
    return false;
}

bool is_longitude_unit(std::string_view units) {
    for (const char *u :
         {"degrees_east", "degree_east", "degree_E", "degrees_E", "degreeE", "degreesE"})
        if (units == u)
            return true;
    return false;
}

std::string time_method(std::string_view cell_methods, const std::vector<std::string> &time_names) {
    // Words: NAME: [NAME: ...] METHOD [where ...] [within ...] [over ...] [(comment)].
    std::vector<std::string> names;
    int depth = 0; // inside a comment's parentheses
    bool after_method = false;
    for (size_t i = 0; i < cell_methods.size();) {
        while (i < cell_methods.size() && std::isspace(static_cast<unsigned char>(cell_methods[i])))
            ++i;
        size_t end = i;
        while (end < cell_methods.size() &&
               !std::isspace(static_cast<unsigned char>(cell_methods[end])))
            ++end;
        const std::string_view word = cell_methods.substr(i, end - i);
        i = end;
        if (word.empty())
            break;
        const bool in_comment = depth > 0 || word.front() == '(';
        depth += static_cast<int>(std::count(word.begin(), word.end(), '(')) -
                 static_cast<int>(std::count(word.begin(), word.end(), ')'));
        if (in_comment)
            continue;
        // A comment may follow a method without a space: "sum(interval: 1 day)".
        const std::string_view head = word.substr(0, word.find('('));
        if (head.size() == word.size() && word.back() == ':') {
            if (after_method)
                names.clear();
            after_method = false;
            names.emplace_back(word.substr(0, word.size() - 1));
            continue;
        }
        if (after_method || names.empty())
            continue; // a qualifier's words
        after_method = true;
        for (const std::string &name : names)
            if (name == "time" ||
                std::find(time_names.begin(), time_names.end(), name) != time_names.end())
                return lower(head);
    }
    return std::string();
}

} // namespace import::cf
