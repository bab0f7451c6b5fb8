// Names, tokens and counts as messages show them, and words wrapped.
#include "shown.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

std::string quote_token(std::string_view token) {
    constexpr size_t shown = 40;
    std::string text = "\"";
    for (size_t i = 0; i < token.size() && i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(token[i]);
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    text += token.size() > shown ? "\"..." : "\"";
    return text;
}

// The length of the UTF-8 sequence at text[i] when it is a printable
// character (not a C1 control), else 0.
static size_t printable_utf8(std::string_view text, size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
    if (n == 0 || c > 0xf4 || i + n > text.size())
        return 0;
    uint32_t code = c & (0x7f >> n);
    for (size_t k = 1; k < n; ++k) {
        const unsigned char d = static_cast<unsigned char>(text[i + k]);
        if ((d & 0xc0) != 0x80)
            return 0;
        code = code << 6 | (d & 0x3f);
    }
    const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[n] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff) ||
        (code >= 0x80 && code <= 0x9f))
        return 0;
    return n;
}

std::string shown_name(std::string_view name) {
    std::string text;
    text.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x20 && c < 0x7f) {
            text += static_cast<char>(c);
            ++i;
        } else if (const size_t n = c >= 0x80 ? printable_utf8(name, i) : 0; n > 0) {
            text.append(name.substr(i, n));
            i += n;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
            ++i;
        }
    }
    return text;
}

std::string counted(long count, const char *thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

std::string format_message(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

std::string wrapped(std::string_view text, size_t indent, size_t width) {
    std::string out;
    size_t line = 0; // the length of the line being filled; 0: none begun
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty())
            continue;
        if (line > 0 && line + 1 + word.size() <= width) {
            out += ' ';
            ++line;
        } else {
            if (line > 0)
                out += '\n';
            out.append(indent, ' ');
            line = indent;
        }
        out += word;
        line += word.size();
    }
    if (line > 0)
        out += '\n';
    return out;
}
