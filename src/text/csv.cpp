// A field of a CSV file.
#include "csv.h"
#include "tokens.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

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

namespace {

// "00" to "99": two digits written at once.
constexpr char digit_pairs[] = "00010203040506070809101112131415161718192021222324"
                               "25262728293031323334353637383940414243444546474849"
                               "50515253545556575859606162636465666768697071727374"
                               "75767778798081828384858687888990919293949596979899";

void put_pair(unsigned n, char *out) {
    std::memcpy(out, digit_pairs + 2 * n, 2);
}

} // namespace

char *put_fixed4(float value, char *out) {
    // A float times 10,000 (2^4 * 625, ten bits more) is exact in a double,
    // and so is what is left of it past its whole units.
    const double scaled = std::fabs(static_cast<double>(value)) * 10000.0;
    if (!(scaled < 1e15))
        return out + std::snprintf(out, 64, "%.4f", static_cast<double>(value)); // nan, inf, huge
    // Rounded to the nearest, ties to even, as printf rounds; the sign and
    // the rounding without branches, which values of either kind take at
    // random.
    auto units = static_cast<unsigned long long>(scaled);
    const double rest = scaled - static_cast<double>(units);
    units += static_cast<unsigned>(rest > 0.5) |
             (static_cast<unsigned>(rest == 0.5) & static_cast<unsigned>(units & 1u));
    *out = '-';
    out += std::signbit(value) ? 1 : 0;
    const unsigned long long whole = units / 10000;
    if (whole < 100) {
        // One digit or two: both written, the second kept only for two.
        const auto w = static_cast<unsigned>(whole);
        const bool two = w >= 10;
        put_pair(w, out);
        out[0] = two ? out[0] : out[1];
        out += two ? 2 : 1;
    } else {
        out = std::to_chars(out, out + 24, whole).ptr;
    }
    *out++ = '.';
    const auto fraction = static_cast<unsigned>(units % 10000);
    put_pair(fraction / 100, out);
    put_pair(fraction % 100, out + 2);
    return out + 4;
}

namespace {

// A quoted field from just after its opening quote; at is moved past the
// closing one. False when it is left open.
bool quoted_field(std::string_view text, size_t &at, std::string &field) {
    for (; at < text.size(); ++at) {
        if (text[at] != '"') {
            field += text[at];
            continue;
        }
        if (at + 1 < text.size() && text[at + 1] == '"') {
            field += '"';
            ++at;
            continue;
        }
        ++at;
        return true;
    }
    return false;
}

} // namespace

bool next_csv_record(std::string_view text, size_t &at, std::vector<std::string> &fields) {
    fields.assign(1, std::string());
    bool quoted = false; // the field was quoted: only a comma or the record's end may follow
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\n' || (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) {
            at += c == '\r' ? 2 : 1;
            return true;
        }
        if (c == ',') {
            fields.emplace_back();
            quoted = false;
        } else if (quoted) {
            return false;
        } else if (c == '"') {
            if (!fields.back().empty() || !quoted_field(text, ++at, fields.back()))
                return false;
            quoted = true;
            --at; // past the closing quote once the loop steps
        } else {
            fields.back() += c;
        }
    }
    return true;
}
