// A CSV field as RFC 4180 reads it back, quoted for each reason it must be.
#include "csv.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// One record of RFC 4180 text at pos, its fields; pos then past its CR LF.
// False for what RFC 4180 does not allow: a quote inside an unquoted field,
// or text after a closing quote.
bool read_record(const std::string &text, size_t &pos, std::vector<std::string> &fields) {
    fields.assign(1, std::string());
    for (bool quoted = false;;) {
        if (pos >= text.size())
            return !quoted;
        const char c = text[pos++];
        if (quoted && c == '"' && pos < text.size() && text[pos] == '"') {
            fields.back() += '"';
            ++pos;
        } else if (c == '"') {
            if (quoted ? pos < text.size() && text[pos] != ',' && text[pos] != '\r'
                       : !fields.back().empty())
                return false;
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            fields.emplace_back();
        } else if (!quoted && c == '\r' && pos < text.size() && text[pos] == '\n') {
            ++pos;
            return true;
        } else {
            fields.back() += c;
        }
    }
}

TEST(CsvField, FieldsAreQuotedForEachReason) {
    for (const std::string text :
         {"a,b", "q\"uote", "line\r\nend", "two\nlines", " leading", "trailing\t", "plain"}) {
        const std::string record = csv_field(text) + ",1\r\n";
        size_t pos = 0;
        std::vector<std::string> fields;
        ASSERT_TRUE(read_record(record, pos, fields)) << record;
        EXPECT_EQ(pos, record.size());
        EXPECT_EQ(fields, (std::vector<std::string>{text, "1"})) << record;
        EXPECT_EQ(record[0] == '"', text != "plain") << record;
    }
}

} // namespace
