// The general parser of daily weather lines: any spelling the token
// parsers take, with fast paths for the common ones.
#include "daily_line.h"
#include "shown.h"

#include <cmath>

const float exact_powers_of_ten[8] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// White space between fields: every blank but the line end.
bool is_separator(char c) {
    return c != '\n' && is_blank_char(c);
}

// The fast paths below take only the common spellings ("-12", "3.25") and
// give exactly what the general token parsers give; anything else is left
// to those. They need the line to end in '\n', which stops every scan
// without a bounds check.

bool quick_int(const char *&p, int &value) {
    const char *q = p;
    const bool negative = *q == '-';
    q += negative;
    const char *first = q;
    unsigned v = 0;
    while (is_digit(*q))
        v = v * 10 + static_cast<unsigned>(*q++ - '0');
    // Nine digits cannot overflow.
    if (q == first || q - first > 9 || !is_blank_char(*q))
        return false;
    value = negative ? -static_cast<int>(v) : static_cast<int>(v);
    p = q;
    return true;
}

bool quick_float(const char *&p, float &value) {
    const char *q = p;
    const bool negative = *q == '-';
    q += negative;
    const char *first = q;
    unsigned digits = 0;
    while (is_digit(*q))
        digits = digits * 10 + static_cast<unsigned>(*q++ - '0');
    long count = q - first;
    long scale = 0;
    if (*q == '.') {
        const char *fraction = ++q;
        while (is_digit(*q))
            digits = digits * 10 + static_cast<unsigned>(*q++ - '0');
        scale = q - fraction;
        count += scale;
    }
    if (count == 0 || count > 7 || !is_blank_char(*q))
        return false;
    // Seven digits stay below 2^24 and the scale is an exact power of ten:
    // one float division is then correctly rounded, as strtof would be.
    const float magnitude = static_cast<float>(digits) / exact_powers_of_ten[scale];
    value = negative ? -magnitude : magnitude;
    p = q;
    return true;
}

} // namespace

parse_status parse_daily_line(std::string_view line, daily_record &day, std::string &why) {
    if (line.empty() || line.back() != '\n') {
        // Only a file's last line can lack its end: give it one.
        const std::string ended = std::string(line) + '\n';
        return parse_daily_line(ended, day, why);
    }
    const char *p = line.data();
    const char *const end = p + line.size();
    int whole[4];
    float real[3];
    for (int i = 0; i < 7; ++i) {
        // A line holds one '\n', its last byte, which ends the scan.
        while (is_separator(*p))
            ++p;
        if (*p == '\n') {
            if (i == 0)
                return parse_status::blank;
            why = std::to_string(i) + (i == 1 ? " field" : " fields") + " found, 7 needed";
            return parse_status::bad;
        }
        if (i < 4 ? quick_int(p, whole[i]) : quick_float(p, real[i - 4]))
            continue;
        const char *start = p;
        while (p < end && !is_blank_char(*p))
            ++p;
        const std::string_view token(start, static_cast<size_t>(p - start));
        const bool ok = i < 4 ? parse_int(token, whole[i]) : parse_float(token, real[i - 4]);
        // A value beyond a float would put inf and nan into the block; a
        // not-a-number value is missing, as the rules say.
        const bool finite = i < 4 || !ok || !std::isinf(real[i - 4]);
        if (!ok || !finite) {
            why = "field " + std::to_string(i + 1) + " is not " +
                  (i < 4    ? "a whole number"
                   : finite ? "a number"
                            : "a finite number") +
                  ": " + quote_token(token);
            return parse_status::bad;
        }
    }
    day.day = whole[0];
    day.month = whole[1];
    day.year = whole[2];
    day.day_of_year = whole[3];
    day.tmax = real[0];
    day.tmin = real[1];
    day.prec = real[2];
    if (day.month < 1 || day.month > 12) {
        why = "month " + std::to_string(day.month) + " is outside 1 to 12";
        return parse_status::bad;
    }
    return parse_status::ok;
}
