// A field of a CSV file.
#include "csv.h"
#include "tokens.h"

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
