// A CSV field as RFC 4180 reads it back, quoted for each reason it must be.
#include "csv.h"

#include <cmath>
#include <cstdint>
#include <cstring>
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

// The program's reader of records reads each field back as written, over
// CR LF or LF, and refuses what RFC 4180 does not allow.
TEST(CsvRecord, ReadsFieldsBackAndRefusesMalformedOnes) {
    const std::vector<std::string> written = {"a,b", "q\"uote", "line\r\nend", "", " lead", "x"};
    std::string text;
    for (const std::string &f : written)
        text += csv_field(f) + (&f == &written.back() ? "\r\n" : ",");
    text += "last,\"\"\n";
    size_t at = 0;
    std::vector<std::string> fields;
    ASSERT_TRUE(next_csv_record(text, at, fields));
    EXPECT_EQ(fields, written);
    ASSERT_TRUE(next_csv_record(text, at, fields));
    EXPECT_EQ(fields, (std::vector<std::string>{"last", ""}));
    EXPECT_EQ(at, text.size());
    for (const std::string bad : {"a\"b,c\n", "\"a\"b,c\n", "\"open,c\n"}) {
        at = 0;
        EXPECT_FALSE(next_csv_record(bad, at, fields)) << bad;
    }
}

// The block's format, "%.4f", as printf prints it: ties to even on the
// exact binary value, the sign of a negative zero and of what rounds to
// it, not-a-number and infinities; and a sweep of floats of every size.
TEST(Fixed4, PrintsAsPrintfDoes) {
    std::vector<float> values = {0.0f,   -0.0f,   0.03125f, 0.00015f,  -0.00004f, 1.00005f,
                                 99.99f, -99.99f, 1e-8f,    123456.7f, 3e12f,     -2e20f,
                                 NAN,    -NAN,    INFINITY, -INFINITY, 0.5f,      2.5e-5f};
    uint32_t bits = 12345;
    for (int i = 0; i < 200000; ++i) {
        bits = bits * 1103515245u + 12345u;
        float v;
        std::memcpy(&v, &bits, sizeof v);
        values.push_back(v);
        values.push_back(static_cast<float>(bits % 2000000) / 1000.0f - 1000.0f);
    }
    for (const float v : values) {
        char expected[64], got[64]; // a float's largest is 39 digits before the point
        std::snprintf(expected, sizeof expected, "%.4f", static_cast<double>(v));
        EXPECT_EQ(std::string(got, put_fixed4(v, got)), expected);
    }
}

} // namespace
