// The vectorized daily-line parser. One vector compare per kind of byte
// (line end, blank, digit, point, minus) gives a bit mask of the line's
// first 64 bytes; the fields are then found by their blanks with bit
// operations, checked to be plain numbers (an optional leading minus,
// digits and, in a value, at most one point), and the digits of each
// gathered eight bytes at a time into a whole number, so that any spacing,
// width and number of fields is taken. The layouts of a file's lines
// are cached (daily_layouts.h): a line of a layout met before only has its
// digits checked and gathered. A line that is anything else goes to the
// general parser, so that the accepted lines and every value are exactly
// the general parser's.
#include "daily_simd.h"

#include <cstring>

#if defined(__x86_64__) && !defined(SITEPREP_NO_AVX2)
#include <immintrin.h>
#define SITEPREP_HAVE_SIMD 1
#endif

#ifdef SITEPREP_HAVE_SIMD

// Every CPU with AVX2 has the bit instructions too.
#define SITEPREP_AVX2 "avx2,bmi,bmi2,popcnt"
#define SITEPREP_AVX512                                                                            \
    "avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi,avx512vbmi2,avx2,bmi,bmi2,popcnt"

#include "daily_layouts.h"

namespace {

// One bit per byte of the fast_line_bytes from a line's start.
struct byte_classes {
    uint64_t ends = 0, blank = 0, digit = 0, point = 0, minus = 0;
};

// The steps below are inlined into the loops of each instruction set:
// a call per step costs as much as the step.
#define SITEPREP_STEP(set) __attribute__((target(set), always_inline)) static inline

struct avx2_classes {
    SITEPREP_STEP(SITEPREP_AVX2) uint32_t mask(__m256i m) {
        return static_cast<uint32_t>(_mm256_movemask_epi8(m));
    }
    SITEPREP_STEP(SITEPREP_AVX2) __m256i is(__m256i v, char c) {
        return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c));
    }
    // An unsigned range test: v - low is at most count.
    SITEPREP_STEP(SITEPREP_AVX2) __m256i within(__m256i v, char low, char count) {
        const __m256i shifted = _mm256_sub_epi8(v, _mm256_set1_epi8(low));
        return _mm256_cmpeq_epi8(_mm256_min_epu8(shifted, _mm256_set1_epi8(count)), shifted);
    }
    // Each mask of 32 bytes; blanks are ' ' and '\t' to '\r', as isspace has them.
    SITEPREP_STEP(SITEPREP_AVX2) void half(__m256i v, uint32_t out[5]) {
        out[0] = mask(is(v, '\n'));
        out[1] = mask(_mm256_or_si256(is(v, ' '), within(v, '\t', 4)));
        out[2] = mask(within(v, '0', 9));
        out[3] = mask(is(v, '.'));
        out[4] = mask(is(v, '-'));
    }
    // Not always_inline: the loops' flatten inlines it where the target allows.
    __attribute__((target(SITEPREP_AVX2))) static inline byte_classes of(const char *line) {
        uint32_t low[5], high[5];
        half(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(line)), low);
        half(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(line + 32)), high);
        byte_classes c;
        uint64_t *const masks[5] = {&c.ends, &c.blank, &c.digit, &c.point, &c.minus};
        for (int k = 0; k < 5; ++k)
            *masks[k] = static_cast<uint64_t>(high[k]) << 32 | low[k];
        return c;
    }
};

// The first byte of each of the seven fields and the blank after it.
struct line_fields {
    uint32_t start[7], end[7];
    uint64_t starts; // the first bytes of all fields
};

__attribute__((always_inline)) inline uint64_t bits_between(uint32_t from, uint32_t to) {
    return (1ull << to) - (1ull << from);
}

// Finds the fields of a line of length bytes (its line end included, at most
// 64); false when it has fewer than seven.
__attribute__((always_inline)) inline bool find_fields(const byte_classes &c, uint32_t length,
                                                       uint64_t &blank, line_fields &f) {
    const uint64_t in_line = length == 64 ? ~0ull : (1ull << length) - 1;
    blank = c.blank & in_line;
    f.starts = ~blank & (blank << 1 | 1) & in_line;
    if (__builtin_popcountll(f.starts) < 7)
        return false;
    // The line end is blank, so every field has a blank after it.
    uint64_t starts = f.starts, ends = blank & ~blank << 1;
#pragma GCC unroll 7
    for (int i = 0; i < 7; ++i) {
        f.start[i] = static_cast<uint32_t>(__builtin_ctzll(starts));
        f.end[i] = static_cast<uint32_t>(__builtin_ctzll(ends));
        starts &= starts - 1;
        ends &= ends - 1;
    }
    return true;
}

// Whether the first seven fields (bits below fields; the first four below
// wholes) are what the general parser's quick paths take and give exactly:
// an optional minus and digits (fewer than nine in a row), and in fields 5
// to 7 at most one point; tested on the whole line at once. Fields past the
// seventh are never read; each value's count of digits is left to the
// caller.
__attribute__((always_inline)) inline bool plain_fields(uint64_t blank, uint64_t digit,
                                                        uint64_t point, uint64_t minus,
                                                        uint64_t starts, uint64_t fields,
                                                        uint64_t wholes) {
    uint64_t wrong = fields & ~(blank | digit | point | minus);
    wrong |= fields & minus & ~starts;
    wrong |= point & wholes;
    // A field of no digit: "-", "." or "-.".
    const uint64_t sign_or_point = fields & (point | minus);
    wrong |= starts & sign_or_point & (blank >> 1 | (sign_or_point >> 1 & blank >> 2));
    // A second point: adding a field's points to its bits carries from the
    // first to the field's end and leaves a later one set.
    const uint64_t bytes = fields & ~blank;
    wrong |= (bytes + (point & fields)) & point & fields;
    // Nine digits in a row: a whole number the general parser may refuse.
    uint64_t run = digit & fields;
    run &= run >> 1;
    run &= run >> 2;
    run &= run >> 4;
    wrong |= run & (digit & fields) >> 8;
    return wrong == 0;
}

// The same for the fields found one by one, with each value's count of
// digits (at most seven: below 2^24, so that one float division rounds as
// strtof does).
__attribute__((always_inline)) inline bool plain_numbers(const byte_classes &c, uint64_t blank,
                                                         const line_fields &f) {
    const uint64_t fields = (1ull << f.end[6]) - 1, wholes = (1ull << f.end[3]) - 1;
    bool plain = plain_fields(blank, c.digit, c.point, c.minus, f.starts, fields, wholes);
    for (int i = 4; i < 7; ++i)
        plain &= __builtin_popcountll(c.digit & bits_between(f.start[i], f.end[i])) <= 7;
    return plain;
}

// The digits of a field ending before byte end, point left out, as a whole
// number: eight bytes up to its end, the bytes before the point moved up
// over it, all but the last digit_count bytes cleared, then the digits of
// pairs, fours and eights added up in place.
__attribute__((always_inline)) inline uint32_t digits_of(const char *line, uint32_t end,
                                                         uint64_t point, int digit_count) {
    uint64_t w;
    std::memcpy(&w, line + end - 8, 8); // the field's last byte is byte 7
    const int at = point != 0 ? __builtin_ctzll(point) - (static_cast<int>(end) - 8) : 0;
    const uint64_t below = point != 0 ? (1ull << 8 * at) - 1 : 0;
    const uint64_t point_byte = point != 0 ? 0xffull << 8 * at : 0;
    w = (w & below) << 8 | (w & ~below & ~point_byte);
    w &= ~0ull << 8 * (8 - digit_count) & 0x0f0f0f0f0f0f0f0full;
    w = w * 10 + (w >> 8);
    constexpr uint64_t pairs = 0x000000ff000000ff;
    w = ((w & pairs) * (100 + (1000000ull << 32)) + ((w >> 16) & pairs) * (1 + (10000ull << 32))) >>
        32;
    return static_cast<uint32_t>(w);
}

// A whole-number field.
__attribute__((always_inline)) inline long whole_field(const char *line, const byte_classes &c,
                                                       const line_fields &f, int i) {
    const uint64_t field = bits_between(f.start[i], f.end[i]);
    const long v = digits_of(line, f.end[i], 0, __builtin_popcountll(c.digit & field));
    return c.minus >> f.start[i] & 1 ? -v : v;
}

// A value field, as quick_float gives it: digits over a power of ten.
__attribute__((always_inline)) inline float value_field(const char *line, const byte_classes &c,
                                                        const line_fields &f, int i) {
    const uint64_t field = bits_between(f.start[i], f.end[i]);
    const uint64_t point = c.point & field;
    const uint32_t digits = digits_of(line, f.end[i], point, __builtin_popcountll(c.digit & field));
    const int scale = point != 0 ? static_cast<int>(f.end[i]) - 1 - __builtin_ctzll(point) : 0;
    const float magnitude = static_cast<float>(digits) / exact_powers_of_ten[scale];
    return c.minus >> f.start[i] & 1 ? -magnitude : magnitude;
}

// Parses a line of classified bytes; false leaves it to the general parser.
__attribute__((always_inline)) inline bool parse_classified(const char *line, const byte_classes &c,
                                                            uint32_t length, daily_record &day,
                                                            daily_date *date) {
    uint64_t blank = 0;
    line_fields f;
    if (!find_fields(c, length, blank, f) || !plain_numbers(c, blank, f))
        return false;
    const long month = whole_field(line, c, f, 1);
    if (month < 1 || month > 12)
        return false; // the general parser says why
    day.month = static_cast<int>(month);
    day.tmax = value_field(line, c, f, 4);
    day.tmin = value_field(line, c, f, 5);
    day.prec = value_field(line, c, f, 6);
    if (date != nullptr) {
        date->day = whole_field(line, c, f, 0);
        date->year = whole_field(line, c, f, 2);
        date->day_of_year = whole_field(line, c, f, 3);
        date->known = true;
    }
    return true;
}

// AVX-512 with the byte permutations and compressions: the points are
// squeezed out of the line, and the digits of four fields gathered by one
// permutation into four groups of eight bytes, right-aligned, with the
// count of digits after each field's point gathered the same way.
struct avx512_lines {
    SITEPREP_STEP(SITEPREP_AVX512) uint64_t is(__m512i v, char c) {
        return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
    }
    SITEPREP_STEP(SITEPREP_AVX512) uint64_t within(__m512i v, char low, char count) {
        return _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(low)),
                                      _mm512_set1_epi8(count));
    }
    // The low 32 bytes (the plain cast and conversions leave GCC 12 warning of
    // an undefined value it uses for their unmasked lanes).
    SITEPREP_STEP(SITEPREP_AVX512) __m256i low_half(__m512i v) {
        return _mm512_maskz_extracti64x4_epi64(0xff, v, 0);
    }
    // The line squeezed: its bytes but points, and where its fields end and
    // their first digits stand there.
    struct squeezed {
        __m512i bytes, ends, firsts, after;
    };
    SITEPREP_STEP(SITEPREP_AVX512)
    squeezed squeeze(__m512i v, uint64_t in_line, uint64_t blank, uint64_t point, uint64_t minus,
                     uint64_t fields) {
        const __m512i iota = _mm512_set_epi8(
            63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42,
            41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20,
            19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
        const uint64_t bytes = fields & ~blank;
        // The digits after a point: the carry of adding it runs to the field's end.
        const uint64_t after = ((bytes + (point & fields)) ^ bytes) & bytes & ~point;
        const uint64_t kept = ~point & in_line;
        const uint64_t blank2 = _pext_u64(blank, kept), minus2 = _pext_u64(minus, kept);
        const uint64_t in2 = _bzhi_u64(~0ull, static_cast<unsigned>(__builtin_popcountll(kept)));
        const uint64_t starts2 = ~blank2 & (blank2 << 1 | 1) & in2;
        const uint64_t firsts2 = (starts2 & ~minus2) | (starts2 & minus2) << 1;
        return {_mm512_maskz_compress_epi8(kept, v),
                _mm512_maskz_compress_epi8(blank2 & ~blank2 << 1, iota),
                _mm512_maskz_compress_epi8(firsts2, iota),
                _mm512_maskz_mov_epi8(_pext_u64(after, kept), _mm512_set1_epi8(1))};
    }
    // Four fields' digits as whole numbers, and their digits after the
    // point; false when a value field (those of values) has more than
    // seven digits.
    SITEPREP_STEP(SITEPREP_AVX512)
    bool gather(const squeezed &q, __m512i pick, uint32_t values, __m128i &numbers,
                __m128i &scales) {
        const __m512i back =
            _mm512_set1_epi64(static_cast<long long>(0xfffefdfcfbfaf9f8ull)); // -8 to -1
        const __m512i ends = _mm512_maskz_permutexvar_epi8(~0ull, pick, q.ends);
        const __m512i index = _mm512_add_epi8(ends, back);
        const uint64_t valid =
            _mm512_cmpge_epi8_mask(index, _mm512_maskz_permutexvar_epi8(~0ull, pick, q.firsts)) &
            0xffffffffull;
        // A group's first byte valid: eight digits or more.
        if (valid & values)
            return false;
        const __m256i digits = _mm256_and_si256(
            low_half(_mm512_maskz_permutexvar_epi8(valid, index, q.bytes)), _mm256_set1_epi8(0x0f));
        numbers = cached_layouts::numbers_of_groups(digits);
        const __m512i counts = _mm512_sad_epu8(_mm512_maskz_permutexvar_epi8(valid, index, q.after),
                                               _mm512_setzero_si512());
        scales = _mm256_castsi256_si128(_mm512_maskz_cvtepi64_epi32(0xff, counts));
        return true;
    }
    SITEPREP_STEP(SITEPREP_AVX512)
    bool dates_of(const squeezed &q, uint64_t signs, daily_date &date) {
        const __m512i pick =
            _mm512_set_epi64(0, 0, 0, 0, 0, 0x0303030303030303, 0x0202020202020202, 0);
        __m128i numbers, scales;
        if (!gather(q, pick, 0, numbers, scales))
            return false;
        alignas(16) int32_t fields[4];
        _mm_store_si128(reinterpret_cast<__m128i *>(fields), numbers);
        date.day = signs & 1 ? -fields[0] : fields[0];
        date.year = signs >> 2 & 1 ? -fields[1] : fields[1];
        date.day_of_year = signs >> 3 & 1 ? -fields[2] : fields[2];
        date.known = true;
        return true;
    }
    __attribute__((target(SITEPREP_AVX512))) static inline uint32_t
    day(const char *line, size_t available, daily_record &day, daily_date *date) {
        const __m512i v = _mm512_loadu_si512(line);
        const uint64_t line_ends = is(v, '\n');
        const uint32_t length = static_cast<uint32_t>(_tzcnt_u64(line_ends)) + 1;
        if (line_ends == 0 || length > available)
            return 0;
        const uint64_t in_line = _bzhi_u64(~0ull, length);
        const uint64_t blank = (is(v, ' ') | within(v, '\t', 4)) & in_line;
        const uint64_t digit = within(v, '0', 9), point = is(v, '.'), minus = is(v, '-');
        const uint64_t starts = ~blank & (blank << 1 | 1) & in_line;
        const uint64_t ends = blank & ~blank << 1;
        if (__builtin_popcountll(starts) < 7)
            return 0;
        const uint64_t fields =
            _bzhi_u64(~0ull, static_cast<unsigned>(_tzcnt_u64(_pdep_u64(1ull << 6, ends))));
        const uint64_t wholes =
            _bzhi_u64(~0ull, static_cast<unsigned>(_tzcnt_u64(_pdep_u64(1ull << 3, ends))));
        if (!plain_fields(blank, digit, point, minus, starts, fields, wholes))
            return 0;
        const squeezed q = squeeze(v, in_line, blank, point, minus, fields);
        // Fields 2, 5, 6 and 7: the month and the three values.
        const __m512i pick = _mm512_set_epi64(0, 0, 0, 0, 0x0606060606060606, 0x0505050505050505,
                                              0x0404040404040404, 0x0101010101010101);
        __m128i numbers, scales;
        if (!gather(q, pick, 0x01010100u, numbers, scales))
            return 0;
        const uint64_t signs = _pext_u64(minus, starts); // bit i: field i + 1 negative
        const int month = _mm_cvtsi128_si32(numbers);
        if (month < 1 || month > 12 || (signs & 2) != 0)
            return 0; // the general parser says why
        // Seven digits at most are exact in a float, and the divisor an
        // exact power of ten: each quotient is rounded as strtof's.
        const __m128 divisors = _mm256_castps256_ps128(_mm256_permutevar8x32_ps(
            _mm256_loadu_ps(exact_powers_of_ten), _mm256_castsi128_si256(scales)));
        __m128 values = _mm_div_ps(_mm_cvtepi32_ps(numbers), divisors);
        values = _mm_mask_xor_ps(values, static_cast<__mmask8>(signs >> 3 & 0xe), values,
                                 _mm_set1_ps(-0.0f));
        if (date != nullptr && !dates_of(q, signs, *date))
            return 0;
        alignas(16) float out[4];
        _mm_store_ps(out, values);
        day.month = month;
        day.tmax = out[1];
        day.tmin = out[2];
        day.prec = out[3];
        return length;
    }
    // The cache of layouts takes every line this parser does.
    static constexpr uint32_t cached_bytes = fast_line_bytes;
    __attribute__((target(SITEPREP_AVX512))) static inline uint32_t
    cached_day(layout_cache &cache, const char *line, size_t available, daily_record &day,
               daily_date *date) {
        return cached_layouts::known_line_day(cache, line, available, day, date);
    }
    __attribute__((target(SITEPREP_AVX512))) static inline void
    learn(layout_cache &cache, const char *line, uint32_t length) {
        cached_layouts::learn_line_layout(cache, line, length);
    }
};

// The line at line, when at most available bytes long and parsed here: its
// length, else 0. Eight bytes before it and fast_line_bytes from its start
// must be readable.
template <class classes>
__attribute__((always_inline)) inline uint32_t fast_day(const char *line, size_t available,
                                                        daily_record &day, daily_date *date) {
    const byte_classes c = classes::of(line);
    if (c.ends == 0)
        return 0;
    const uint32_t length = static_cast<uint32_t>(__builtin_ctzll(c.ends)) + 1;
    return length <= available && parse_classified(line, c, length, day, date) ? length : 0;
}

// Lines parsed with the byte classes of AVX2.
struct avx2_lines {
    __attribute__((target(SITEPREP_AVX2))) static inline uint32_t
    day(const char *line, size_t available, daily_record &day, daily_date *date) {
        return fast_day<avx2_classes>(line, available, day, date);
    }
    // The cache of layouts takes lines of up to 32 bytes.
    static constexpr uint32_t cached_bytes = short_line_bytes;
    __attribute__((target(SITEPREP_AVX2))) static inline uint32_t
    cached_day(layout_cache &cache, const char *line, size_t available, daily_record &day,
               daily_date *date) {
        return cached_layouts::known_layout_day(cache, line, available, day, date);
    }
    __attribute__((target(SITEPREP_AVX2))) static inline void
    learn(layout_cache &cache, const char *line, uint32_t length) {
        cached_layouts::learn_layout(cache, line, length);
    }
};

// The run of lines from the reader's position that parse here: a short line
// of a layout seen before through the cache, any other through the parser
// of the instruction set (and its layout learnt when it is short).
template <class parser>
__attribute__((always_inline)) inline size_t fast_days(os::line_reader &reader, layout_cache &cache,
                                                       daily_record *days, std::string_view *lines,
                                                       daily_date *dates, size_t most) {
    const char *const block = reader.block.data();
    size_t pos = reader.pos;
    size_t count = 0;
    // A block's first lines are copied behind eight readable bytes.
    char early[8 + fast_line_bytes] = {};
    while (count < most && pos < reader.end) {
        const char *line = block + pos;
        if (pos < 8) {
            std::memcpy(early + 8, line, fast_line_bytes);
            line = early + 8;
        }
        daily_date *const date = dates != nullptr ? &dates[count] : nullptr;
        const size_t available = reader.end - pos;
        const bool cached = cache.usable();
        uint32_t length =
            cached ? parser::cached_day(cache, line, available, days[count], date) : 0;
        if (length == 0) {
            length = parser::day(line, available, days[count], date);
            if (length == 0)
                break;
            if (cached && length <= parser::cached_bytes)
                parser::learn(cache, line, length);
        }
        if (lines != nullptr)
            lines[count] = std::string_view(block + pos, length);
        pos += length;
        ++count;
    }
    reader.pos = pos;
    return count;
}

__attribute__((target(SITEPREP_AVX2), flatten)) size_t
avx2_days(os::line_reader &reader, layout_cache &cache, daily_record *days, std::string_view *lines,
          daily_date *dates, size_t most) {
    return fast_days<avx2_lines>(reader, cache, days, lines, dates, most);
}

__attribute__((target(SITEPREP_AVX512), flatten)) size_t
avx512_days(os::line_reader &reader, layout_cache &cache, daily_record *days,
            std::string_view *lines, daily_date *dates, size_t most) {
    return fast_days<avx512_lines>(reader, cache, days, lines, dates, most);
}

} // namespace

fast_daily_parser::fast_daily_parser(simd_level limit) {
    const bool bits = __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
                      __builtin_cpu_supports("popcnt");
    if (!bits || limit == simd_level::portable || !__builtin_cpu_supports("avx2"))
        return;
    const bool avx512 = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
                        __builtin_cpu_supports("avx512dq") &&
                        __builtin_cpu_supports("avx512vbmi") &&
                        __builtin_cpu_supports("avx512vbmi2");
    level = limit == simd_level::avx512 && avx512 ? simd_level::avx512 : simd_level::avx2;
    cache.layouts = cached_layouts::new_file_layouts();
}

size_t next_fast_days(os::line_reader &reader, fast_daily_parser &parser, daily_record *days,
                      std::string_view *lines, daily_date *dates, size_t most) {
    switch (parser.level) {
    case simd_level::avx512:
        return avx512_days(reader, parser.cache, days, lines, dates, most);
    case simd_level::avx2:
        return avx2_days(reader, parser.cache, days, lines, dates, most);
    default:
        return 0;
    }
}

parse_status parse_daily_line_fast(fast_daily_parser &parser, std::string_view line,
                                   daily_record &day, std::string &why) {
    if (parser.vectorized() && line.size() <= fast_line_bytes) {
        // The line in a block of its own, as a reader holds it, with bytes
        // before and after it that must not matter.
        static thread_local os::line_reader reader(nullptr);
        std::memset(reader.block.data(), '7', 8 + 2 * fast_line_bytes);
        std::memcpy(reader.block.data() + 8, line.data(), line.size());
        reader.pos = 8;
        reader.end = 8 + line.size();
        daily_date date;
        if (next_fast_days(reader, parser, &day, nullptr, &date, 1) == 1 &&
            reader.pos == reader.end) {
            give_date(day, date, line);
            return parse_status::ok;
        }
    }
    return parse_daily_line(line, day, why);
}

#else

fast_daily_parser::fast_daily_parser(simd_level) {}

size_t next_fast_days(os::line_reader &, fast_daily_parser &, daily_record *, std::string_view *,
                      daily_date *, size_t) {
    return 0;
}

parse_status parse_daily_line_fast(fast_daily_parser &, std::string_view line, daily_record &day,
                                   std::string &why) {
    return parse_daily_line(line, day, why);
}

#endif

void give_general_date(daily_record &day, std::string_view line) {
    // The line parsed, so it parses again.
    daily_record general;
    std::string why;
    parse_daily_line(line, general, why);
    day.day = general.day;
    day.year = general.year;
    day.day_of_year = general.day_of_year;
}
