// A field of a CSV file.
#include "csv.h"
#include "tokens.h"

#include <charconv>
#include <cmath>
#include <cstdio>

std::string csv_field(const std::string &text) {
    const bool padded =
        !text.empty() && (is_blank_char(text.front()) || is_blank_char(text.back()));
    if (!padded && text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

char *put_fixed4(float value, char *out) {
    // A float times 10,000 (2^4 * 625, ten bits more) is exact in a double,
    // and so is what is left of it past its whole units.
    const double scaled = std::fabs(static_cast<double>(value)) * 10000.0;
    if (!(scaled < 1e15))
        return out + std::snprintf(out, 64, "%.4f", static_cast<double>(value)); // nan, inf, huge
    // Rounded to the nearest, ties to even, as printf rounds.
    auto units = static_cast<unsigned long long>(scaled);
    const double rest = scaled - static_cast<double>(units);
    units += rest > 0.5 || (rest == 0.5 && (units & 1u) != 0);
    if (std::signbit(value))
        *out++ = '-';
    out = std::to_chars(out, out + 24, units / 10000).ptr;
    *out++ = '.';
    unsigned fraction = static_cast<unsigned>(units % 10000);
    for (int digit = 3; digit >= 0; --digit, fraction /= 10)
        out[digit] = static_cast<char>('0' + fraction % 10);
    return out + 4;
}
