// The tokens of a line: white space as the C locale sees it, whole-token
// numbers, and how a line ends.
#pragma once

#include <array>
#include <string_view>

// White space as the C locale's isspace sees it (' ', \t, \n, \v, \f, \r);
// a table, since the daily reader asks it of every byte.
inline constexpr auto blank_table = [] {
    std::array<bool, 256> table{};
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'})
        table[static_cast<unsigned char>(c)] = true;
    return table;
}();

inline bool is_blank_char(char c) {
    return blank_table[static_cast<unsigned char>(c)];
}

// True when the line holds nothing but white space.
bool is_blank(std::string_view line);

// Splits off the next whitespace-separated token starting at pos; empty at end.
std::string_view next_token(std::string_view text, size_t &pos);

// A token is a number only when all of it is one, as strtof / base-10 strtol
// would read it.
bool parse_float(std::string_view token, float &value);
bool parse_int(std::string_view token, int &value);
bool parse_double(std::string_view token, double &value);

// The same, but only a decimal number within the type's range: no nan,
// inf, hexadecimal or overflowing value (a value too small becomes 0).
bool parse_finite_float(std::string_view token, float &value);
bool parse_finite_double(std::string_view token, double &value);

// A period of years, FIRST-LAST: each year one to four digits and nothing
// else (no sign, no blank), FIRST at least 1 and at most LAST.
bool parse_year_range(std::string_view token, int &first, int &last);

// What a line parser made of a line.
enum class parse_status { ok, blank, bad };

// "\r\n" when the line ends so, otherwise "\n".
const char *line_end_of(std::string_view line);
