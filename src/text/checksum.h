// The CRC-32 of a file's bytes, which ties the fill's record to the daily
// file it describes: the checksum of zlib's crc32 and Python's zlib.crc32
// (IEEE 802.3, reflected polynomial 0xEDB88320, initial and final value
// 0xFFFFFFFF), so that a user's script can check it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace crc32_detail {

using table = std::array<std::array<uint32_t, 256>, 8>;

// Eight tables, eight bytes a step: each byte's CRC, then the same shifted
// through one, two, ... further bytes of zeros.
constexpr table make_tables() {
    table t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][b] = c;
    }
    for (size_t s = 1; s < 8; ++s)
        for (size_t b = 0; b < 256; ++b)
            t[s][b] = (t[s - 1][b] >> 8) ^ t[0][t[s - 1][b] & 0xFFu];
    return t;
}

inline constexpr table tables = make_tables();

// Four bytes as a little-endian word, whatever the machine's order.
inline uint32_t word_at(const unsigned char *p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

} // namespace crc32_detail

// The CRC-32 of what crc was computed over (0 for nothing) followed by n
// bytes of data.
inline uint32_t crc32_update(uint32_t crc, const void *data, size_t n) {
    using crc32_detail::word_at;
    const auto &t = crc32_detail::tables;
    const auto *p = static_cast<const unsigned char *>(data);
    uint32_t c = ~crc;
    for (; n >= 8; n -= 8, p += 8) {
        const uint32_t lo = c ^ word_at(p), hi = word_at(p + 4);
        c = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
    }
    for (; n > 0; --n, ++p)
        c = t[0][(c ^ *p) & 0xFFu] ^ (c >> 8);
    return ~c;
}

inline uint32_t crc32_of(const void *data, size_t n) {
    return crc32_update(0, data, n);
}
