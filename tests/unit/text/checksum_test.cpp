// The CRC-32 that ties the fill's record to its daily file: the published
// check values of the CRC-32 of zlib and IEEE 802.3, whole or in pieces,
// through the tables and the folding alike.
#include "checksum.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(Crc32, GivesThePublishedValuesWholeOrInPieces) {
    const struct {
        std::string text;
        uint32_t crc;
    } cases[] = {{"", 0},
                 {"a", 0xE8B7BE43u},
                 {"123456789", 0xCBF43926u},
                 {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
                 // zlib.crc32's: long enough for the folding of 64-byte blocks.
                 {std::string(1000000, 'a'), 0xDC25BFBCu}};
    for (const auto &c : cases) {
        EXPECT_EQ(crc32_of(c.text.data(), c.text.size()), c.crc) << c.text;
        // In pieces of every split: the eight-byte steps meet the bytewise tail.
        for (size_t cut = 0; cut <= c.text.size(); cut += 1 + c.text.size() / 97)
            EXPECT_EQ(crc32_update(crc32_of(c.text.data(), cut), c.text.data() + cut,
                                   c.text.size() - cut),
                      c.crc)
                << c.text << " cut at " << cut;
    }
}

} // namespace
