// The values of a source converted: units, and the decimals written.
#include "convert.h"
#include "shown.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace import {

namespace {

// Each conversion's factor and offset, and how many decimals it adds to
// the source's: multiplying by 0.1 or 2.54 keeps a decimal exact with one
// or two more; Fahrenheit's 5/9 has no exact decimal, and two more are a
// start that value_text extends as the float needs.
struct conversion {
    double scale, offset;
    int more_decimals, least_decimals;
};

conversion of(temp_unit unit) {
    switch (unit) {
    case temp_unit::celsius:
        return {1.0, 0.0, 0, 0};
    case temp_unit::fahrenheit:
        return {5.0 / 9.0, -32.0, 2, 0};
    case temp_unit::kelvin:
        return {1.0, -273.15, 0, 2};
    case temp_unit::tenths_celsius:
        return {0.1, 0.0, 1, 0};
    }
    return {1.0, 0.0, 0, 0};
}

conversion of(prcp_unit unit) {
    switch (unit) {
    case prcp_unit::mm:
        return {0.1, 0.0, 1, 0};
    case prcp_unit::cm:
        return {1.0, 0.0, 0, 0};
    case prcp_unit::inches:
        return {2.54, 0.0, 2, 0};
    case prcp_unit::tenths_mm:
        return {0.01, 0.0, 2, 0};
    }
    return {1.0, 0.0, 0, 0};
}

bool converted(std::string_view text, const conversion &c, value &v) {
    double number = 0;
    int decimals = 0;
    if (!plain_number(text, number, decimals))
        return false;
    // The offset first: (F - 32) * 5/9, K - 273.15.
    v.number = (number + c.offset) * c.scale;
    if (v.number == 0)
        v.number = 0; // never "-0.0"
    v.decimals = std::max(decimals + c.more_decimals, c.least_decimals);
    v.valid = true;
    return true;
}

} // namespace

bool plain_number(std::string_view text, double &number, int &decimals) {
    size_t i = 0, digits = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    decimals = -1;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            ++digits;
            decimals += decimals >= 0;
        } else if (text[i] == '.' && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    decimals = std::max(decimals, 0);
    if (digits == 0 || digits > 30)
        return false;
    const std::string terminated(text);
    number = std::strtod(terminated.c_str(), nullptr);
    return std::isfinite(number);
}

bool temperature(std::string_view text, temp_unit unit, value &v) {
    return converted(text, of(unit), v);
}

bool precipitation(std::string_view text, prcp_unit unit, value &v) {
    return converted(text, of(unit), v);
}

char *shortest_chars(char *at, char *end, float f, int decimals) {
    if (f == 0)
        f = 0; // never "-0.0"
    char *const start = at;
    at = std::to_chars(at, end, f, std::chars_format::fixed).ptr;
    const char *point = std::find(start, at, '.');
    int has = point == at ? 0 : static_cast<int>(at - point - 1);
    if (has < decimals && point == at && at < end)
        *at++ = '.';
    for (; has < decimals && at < end; ++has)
        *at++ = '0';
    return at;
}

std::string value_text(const value &v) {
    if (!v.valid)
        return "-99.99";
    if (v.shortest) {
        char text[96];
        return std::string(text, shortest_chars(text, text + sizeof text,
                                                static_cast<float>(v.number), v.decimals));
    }
    const float wanted = static_cast<float>(v.number);
    const auto reads_back = [wanted](const std::string &text) {
        return std::strtof(text.c_str(), nullptr) == wanted;
    };
    // The source's decimals and the conversion's, or a few more.
    for (int decimals = v.decimals; decimals <= 12; ++decimals)
        if (std::string text = format_message("%.*f", decimals, v.number); reads_back(text))
            return text;
    // Otherwise (a source with more decimals than a float holds, or a value
    // far below 1) the fewest decimals that give the float back; a value
    // that is zero as a float is written unsigned.
    const double number = wanted == 0 ? 0.0 : v.number;
    std::string text;
    for (int decimals = 0; decimals <= 64; ++decimals)
        if (text = format_message("%.*f", decimals, number); reads_back(text))
            break;
    return text;
}

namespace {

// The lowest and highest value of each quantity, as the messages name them.
struct bounds {
    double low, high;
    const char *name, *text;
};

constexpr bounds range_of[quantities] = {{-90.0, 60.0, "tmax", "-90 to 60 degrees C"},
                                         {-90.0, 60.0, "tmin", "-90 to 60 degrees C"},
                                         {0.0, 200.0, "prcp", "0 to 200 cm a day"}};

} // namespace

bool physically_possible(int quantity, double number) {
    const bounds &b = range_of[quantity];
    return number >= b.low && number <= b.high;
}

void outside_range::note(int quantity, const calendar_date &d) {
    if (count[quantity]++ == 0)
        first[quantity] = d;
}

bool outside_range::any() const {
    return count[tmax] + count[tmin] + count[prcp] > 0;
}

std::string outside_range::said() const {
    std::string text;
    for (int q = 0; q < quantities; ++q) {
        if (count[q] == 0)
            continue;
        const std::string what = std::string(range_of[q].name) + " value";
        text += (text.empty() ? "" : "; ") + counted(count[q], what.c_str()) + " outside " +
                range_of[q].text +
                format_message(count[q] == 1 ? " (on %04d-%02d-%02d)"
                                             : " (the first on %04d-%02d-%02d)",
                               first[q].year, first[q].month, first[q].day);
    }
    return text;
}

} // namespace import
