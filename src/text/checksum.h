// The CRC-32 of a file's bytes, which ties the fill's record to the daily
// file it describes: the checksum of zlib's crc32 and Python's zlib.crc32
// (IEEE 802.3, reflected polynomial 0xEDB88320, initial and final value
// 0xFFFFFFFF), so that a user's script can check it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

#if defined(__x86_64__)
// Carry-less multiplication folds 16 bytes at a time, six to nine times
// faster than the tables: the folding constants x^(k) mod P of the
// reflected polynomial, then a Barrett reduction to 32 bits.
#define CRC32_FOLDING __attribute__((target("pclmul,sse4.1")))

CRC32_FOLDING inline __m128i fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

CRC32_FOLDING inline __m128i block_at(const unsigned char *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// The register c (not inverted) carried over n bytes, n at least 64 and a
// multiple of 16.
CRC32_FOLDING inline uint32_t folded(uint32_t c, const unsigned char *p, size_t n) {
    const __m128i by4 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    const __m128i by1 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    const __m128i to32 = _mm_set_epi64x(0, 0x163cd6124);
    const __m128i barrett = _mm_set_epi64x(0x1F7011641, 0x1DB710641);
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    __m128i x1 = _mm_xor_si128(block_at(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x2 = block_at(p + 16), x3 = block_at(p + 32), x4 = block_at(p + 48);
    for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
        x1 = fold(x1, by4, block_at(p));
        x2 = fold(x2, by4, block_at(p + 16));
        x3 = fold(x3, by4, block_at(p + 32));
        x4 = fold(x4, by4, block_at(p + 48));
    }
    x1 = fold(fold(fold(x1, by1, x2), by1, x3), by1, x4);
    for (; n >= 16; p += 16, n -= 16)
        x1 = fold(x1, by1, block_at(p));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, by1, 0x10), _mm_srli_si128(x1, 8));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), to32, 0x00),
                       _mm_srli_si128(x1, 4));
    const __m128i q = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(q, low32), barrett, 0x00), x1);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}
#undef CRC32_FOLDING

inline bool can_fold() {
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}
#endif

} // namespace crc32_detail

// The CRC-32 of what crc was computed over (0 for nothing) followed by n
// bytes of data.
inline uint32_t crc32_update(uint32_t crc, const void *data, size_t n) {
    using crc32_detail::word_at;
    const auto &t = crc32_detail::tables;
    const auto *p = static_cast<const unsigned char *>(data);
    uint32_t c = ~crc;
#if defined(__x86_64__)
    if (n >= 64 && crc32_detail::can_fold()) {
        const size_t whole = n & ~size_t{15};
        c = crc32_detail::folded(c, p, whole);
        p += whole;
        n -= whole;
    }
#endif
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
