// The values of a source converted to what a daily file holds: degrees C
// and cm a day, with the decimals that keep what the source gave.
#pragma once

#include "calendar.h"

#include <string>
#include <string_view>

namespace import {

// The units a source's values come in.
enum class temp_unit { celsius, fahrenheit, kelvin, tenths_celsius };
enum class prcp_unit { mm, cm, inches, tenths_mm };

enum quantity { tmax, tmin, prcp, quantities };

// A value of one day as the source gave it, converted; valid false when the
// source lacks it, marks it missing or flags it as failed.
struct value {
    bool valid = false;
    double number = 0; // in degrees C or cm
    int decimals = 0;  // written with at least these
    // A float's value from a binary source: written as the shortest text
    // that gives the float back, with at least decimals decimals.
    bool shortest = false;
};

// A source value's text converted; decimals of the text are counted, so
// that a conversion by a power of ten loses nothing. False when the text
// is not a plain decimal number.
bool temperature(std::string_view text, temp_unit unit, value &v);
bool precipitation(std::string_view text, prcp_unit unit, value &v);

// The text of a value that strtof reads back as the float of the value:
// with its decimals, a few more where needed, or else the fewest that do
// (a shortest value: the shortest, padded to its decimals).
std::string value_text(const value &v);

// The shortest text that strtof reads back as f, in fixed notation, with at
// least decimals decimals, put at at (room for 64 characters and decimals
// past them); the end of it.
char *shortest_chars(char *at, char *end, float f, int decimals);

// A plain decimal number (sign, digits, one point); false for anything else.
bool plain_number(std::string_view text, double &number, int &decimals);

// Whether a value in degrees C or cm a day is one that weather can have:
// temperatures from -90 to 60 degrees C, precipitation from 0 to 200 cm a
// day, the bounds included (the world's records, rounded outwards: the
// README, "Sources"). A value outside is a source's fill value or a fault,
// and is written as missing.
bool physically_possible(int quantity, double number);

// The values of a file found outside that range: each quantity's count and
// first date, for the one message said of the file.
struct outside_range {
    long count[quantities] = {0, 0, 0};
    calendar_date first[quantities] = {};
    void note(int quantity, const calendar_date &d);
    bool any() const;
    // "2 tmax values outside -90 to 60 degrees C (the first on 1990-01-05)",
    // for each quantity that has some, joined by "; ".
    std::string said() const;
};

} // namespace import
