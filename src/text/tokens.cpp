// The tokens of a line: white space, whole-token numbers, line ends.
#include "tokens.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

const char *line_end_of(std::string_view line) {
    return line.size() >= 2 && line.substr(line.size() - 2) == "\r\n" ? "\r\n" : "\n";
}

bool is_blank(std::string_view line) {
    for (char c : line)
        if (!is_blank_char(c))
            return false;
    return true;
}

std::string_view next_token(std::string_view text, size_t &pos) {
    while (pos < text.size() && is_blank_char(text[pos]))
        ++pos;
    size_t start = pos;
    while (pos < text.size() && !is_blank_char(text[pos]))
        ++pos;
    return text.substr(start, pos - start);
}

// from_chars rejects a leading '+', which strtof and strtol take.
static std::string_view without_plus(std::string_view token) {
    if (token.size() > 1 && token[0] == '+' && token[1] != '+' && token[1] != '-')
        token.remove_prefix(1);
    return token;
}

// A whole token as a float or a double: from_chars, and for hexadecimal
// values and values out of range strtof or strtod (to_real) decides.
template <class Real>
static bool parse_real(std::string_view token, Real &value,
                       Real (*to_real)(const char *, char **)) {
    std::string_view digits = without_plus(token);
    if (digits.empty() || digits[0] == '+')
        return false;
    const char *end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (ec == std::errc() && ptr == end)
        return true;
    std::string copy(token);
    char *stop = nullptr;
    Real v = to_real(copy.c_str(), &stop);
    if (copy.empty() || stop != copy.c_str() + copy.size() || is_blank_char(copy[0]))
        return false;
    value = v;
    return true;
}

bool parse_float(std::string_view token, float &value) {
    return parse_real(token, value, std::strtof);
}

bool parse_double(std::string_view token, double &value) {
    return parse_real(token, value, std::strtod);
}

// Only a sign, digits, a point and an exponent: no nan, inf or hexadecimal.
static bool decimal_chars(std::string_view token) {
    return token.find_first_not_of("0123456789+-.eE") == std::string_view::npos;
}

template <class Real>
static bool parse_finite(std::string_view token, Real &value,
                         bool (*parse)(std::string_view, Real &)) {
    Real v = 0;
    if (!decimal_chars(token) || !parse(token, v) || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool parse_finite_float(std::string_view token, float &value) {
    return parse_finite(token, value, parse_float);
}

bool parse_finite_double(std::string_view token, double &value) {
    return parse_finite(token, value, parse_double);
}

bool parse_int(std::string_view token, int &value) {
    std::string_view digits = without_plus(token);
    if (digits.empty() || digits[0] == '+')
        return false;
    const char *end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, value, 10);
    return ec == std::errc() && ptr == end;
}

bool parse_year_range(std::string_view token, int &first, int &last) {
    const size_t dash = token.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash > 4 || token.size() - dash - 1 > 4 ||
        token.find_first_not_of("0123456789-") != std::string_view::npos)
        return false;
    int a = 0, b = 0;
    if (!parse_int(token.substr(0, dash), a) || !parse_int(token.substr(dash + 1), b) || a < 1 ||
        a > b)
        return false;
    first = a;
    last = b;
    return true;
}
