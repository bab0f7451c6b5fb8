// The layouts of a daily file's short lines, for the vectorized parser
// alone: included by daily_simd.cpp only, within its AVX2 part, after
// daily_simd.h and its instruction-set names, so that every step inlines
// into its loops.
// Real daily files hold few line layouts (where the blanks, signs and
// decimal points stand), so the first line of each layout is parsed without
// the cache and described once; every later line of that layout only has
// its digits checked and gathered by one byte shuffle.
#pragma once

#include <cstring>
#include <immintrin.h>
#include <memory>

// Lines of up to this many bytes have their layouts cached.
inline constexpr uint32_t short_line_bytes = 32;

namespace cached_layouts {

// Where a line's bytes are blanks, decimal points and minus signs, and its
// length (the line end included): lines alike in these share a layout.
struct layout_key {
    uint64_t blank = 0, dot = 0, minus = 0;
    uint32_t length = 0;
    bool operator==(const layout_key &) const = default;
};

struct layout {
    layout_key key;
    unsigned generation = 0; // in use while it is its table's generation
    bool fast = false;       // false: lines of this layout go to the general parser
    uint64_t digits = 0;     // the positions that must hold digits, within span
    uint64_t span = 0;       // the bytes of the first seven fields; later ones are not read
    // Gathers the digits of the month and the three values into four groups
    // of eight bytes, right-aligned; 0x80 gives a zero. With AVX2 from the
    // first 32 bytes (in two halves); with AVX-512 from all 64: index and
    // the gathered bytes that take a digit (valid).
    alignas(32) uint8_t gather[32];
    alignas(32) uint8_t from_high[32]; // 0x80 where the byte comes from bytes 16 to 31
    alignas(32) uint8_t index[32];
    uint32_t valid = 0;
    // Per group: the power of ten to divide by (the month's is 1) and the
    // sign bit to set.
    alignas(16) float divisor[4] = {1, 1, 1, 1};
    alignas(16) uint32_t sign[4] = {0, 0, 0, 0};
    // The same for the fields the audit reads (day, year and day of the
    // year) into groups 0 to 2; dates is false when one has more than eight
    // digits.
    bool dates = false;
    bool negative[3] = {false, false, false};
    alignas(32) uint8_t date_gather[32];
    alignas(32) uint8_t date_from_high[32];
    alignas(32) uint8_t date_index[32];
    uint32_t date_valid = 0;
};

// The gather tables of a group of fields, for both instruction sets.
struct gather_tables {
    uint8_t *gather, *from_high, *index;
    uint32_t &valid;
};

constexpr size_t table_size = 1024; // a power of two; at most half of it is filled
constexpr size_t max_layouts = table_size / 2;

// Checked every window of lines: fewer hits than half of it, and the cache
// only costs time.
constexpr unsigned window = 256;
// As many new layouts with few hits among them give up before the window
// ends: describing a layout costs a few lines' parsing.
constexpr size_t early_layouts = 48;

// One token of a line: first byte and length.
struct token {
    uint32_t start = 0, length = 0;
};

// A token the layout can take: an optional leading minus, digits and at
// most one point, with at most max_digits digits (fewer than ten for a whole
// number, seven for a value, so that later lines can neither overflow nor be
// rounded otherwise than by the general parser).
inline bool simple_token(const char *line, token t, bool whole, int &digit_count, int &scale) {
    digit_count = 0;
    scale = 0;
    bool point = false;
    for (uint32_t i = 0; i < t.length; ++i) {
        const char c = line[t.start + i];
        if (c >= '0' && c <= '9') {
            ++digit_count;
            scale += point;
        } else if (c == '.' && !whole && !point) {
            point = true;
        } else if (!(c == '-' && i == 0)) {
            return false;
        }
    }
    return digit_count >= 1 && digit_count <= (whole ? 9 : 7);
}

// Sets group g (eight bytes) of a gather table to take the digits of token
// t, right-aligned; the token has eight digits at most.
inline void gather_digits(const char *line, token t, int g, gather_tables tables) {
    int out = 8 * g + 7;
    for (int k = static_cast<int>(t.length) - 1; k >= 0; --k) {
        const uint32_t at = t.start + static_cast<uint32_t>(k);
        const char c = line[at];
        if (c < '0' || c > '9')
            continue;
        tables.gather[out] = static_cast<uint8_t>(at & 15);
        tables.from_high[out] = at >= 16 ? 0x80 : 0;
        tables.index[out] = static_cast<uint8_t>(at);
        tables.valid |= 1u << out;
        --out;
    }
}

// The first seven fields of a layout's line, as its key's blanks divide
// them; how many there are (at most 7: later ones are not read).
inline int layout_tokens(const layout &l, token tokens[7]) {
    int count = 0;
    for (uint32_t i = 0; i + 1 < l.key.length;) {
        if (l.key.blank >> i & 1) {
            ++i;
            continue;
        }
        if (count == 7)
            break; // fields past the seventh are not read
        token &t = tokens[count++];
        t.start = i;
        while (i + 1 < l.key.length && !(l.key.blank >> i & 1))
            ++i;
        t.length = i - t.start;
    }
    return count;
}

// The gather tables of the fields the audit reads (day, year and day of
// the year); dates stays false when one has more than eight digits.
inline void describe_dates(layout &l, const char *line, const token tokens[7]) {
    std::memset(l.date_gather, 0x80, sizeof l.date_gather);
    std::memset(l.date_from_high, 0, sizeof l.date_from_high);
    std::memset(l.date_index, 0, sizeof l.date_index);
    const int dated[3] = {0, 2, 3};
    for (int g = 0; g < 3; ++g) {
        const token t = tokens[dated[g]];
        int digit_count = 0, scale = 0;
        simple_token(line, t, true, digit_count, scale);
        if (digit_count > 8)
            return;
        gather_digits(line, t, g, {l.date_gather, l.date_from_high, l.date_index, l.date_valid});
        l.negative[g] = line[t.start] == '-';
    }
    l.dates = true;
}

// Describes the layout of a line that the general parser accepted.
inline void describe(layout &l, const char *line) {
    token tokens[7];
    if (layout_tokens(l, tokens) != 7)
        return;
    l.span = (1ull << (tokens[6].start + tokens[6].length)) - 1;
    // Fields 2, 5, 6 and 7 (month, maximum and minimum temperature,
    // precipitation) go to groups 0 to 3.
    const int gathered[4] = {1, 4, 5, 6};
    for (int i = 0; i < 7; ++i) {
        int digit_count = 0, scale = 0;
        if (!simple_token(line, tokens[i], i < 4, digit_count, scale))
            return;
        if (i == 1 && digit_count > 2)
            return;
        for (uint32_t k = 0; k < tokens[i].length; ++k)
            if (line[tokens[i].start + k] >= '0' && line[tokens[i].start + k] <= '9')
                l.digits |= 1ull << (tokens[i].start + k);
    }
    std::memset(l.gather, 0x80, sizeof l.gather);
    std::memset(l.from_high, 0, sizeof l.from_high);
    std::memset(l.index, 0, sizeof l.index);
    for (int g = 0; g < 4; ++g) {
        const token t = tokens[gathered[g]];
        gather_digits(line, t, g, {l.gather, l.from_high, l.index, l.valid});
        if (g > 0) {
            int digit_count = 0, scale = 0;
            simple_token(line, t, false, digit_count, scale);
            l.divisor[g] = exact_powers_of_ten[scale];
            l.sign[g] = line[t.start] == '-' ? 0x80000000u : 0;
        }
    }
    l.fast = true;
    describe_dates(l, line, tokens);
}

} // namespace cached_layouts

// The layouts of the file being read. The table is the thread's, kept from
// file to file; a new file empties it by starting a new generation.
struct line_layouts {
    cached_layouts::layout table[cached_layouts::table_size];
    unsigned generation = 0;
    size_t filled = 0;
};

namespace cached_layouts {

// The steps of a line are inlined into the loops that call them: a call per
// step costs as much as the step.
__attribute__((target("avx2"), always_inline)) inline layout_key key_of(__m256i v, uint32_t length,
                                                                        uint64_t &digits) {
    const uint32_t in_line = length == 32 ? ~0u : (1u << length) - 1;
    const __m256i space = _mm256_cmpeq_epi8(v, _mm256_set1_epi8(' '));
    // '\t' to '\r': one unsigned range test.
    const __m256i control = _mm256_cmpeq_epi8(
        _mm256_min_epu8(_mm256_sub_epi8(v, _mm256_set1_epi8('\t')), _mm256_set1_epi8(4)),
        _mm256_sub_epi8(v, _mm256_set1_epi8('\t')));
    const __m256i digit = _mm256_cmpeq_epi8(
        _mm256_min_epu8(_mm256_sub_epi8(v, _mm256_set1_epi8('0')), _mm256_set1_epi8(9)),
        _mm256_sub_epi8(v, _mm256_set1_epi8('0')));
    layout_key key;
    key.blank =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(space, control))) & in_line;
    key.dot =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('.')))) &
        in_line;
    key.minus =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('-')))) &
        in_line;
    key.length = length;
    digits = static_cast<uint32_t>(_mm256_movemask_epi8(digit)) & in_line;
    return key;
}

inline size_t slot_of(const layout_key &k) {
    uint64_t h = (k.blank ^ (k.dot << 1 | k.dot >> 63)) * 0x9e3779b97f4a7c15ull;
    h ^= ((k.minus << 7 | k.minus >> 57) ^ k.length) * 0xc2b2ae3d27d4eb4full;
    return static_cast<size_t>(h >> 40) & (table_size - 1);
}

// Four groups of eight digit values (right-aligned, zeros before) as four
// whole numbers: pairs, fours and eights added up in place.
__attribute__((target("avx2"), always_inline)) inline __m128i numbers_of_groups(__m256i digits) {
    const __m256i pairs = _mm256_maddubs_epi16(digits, _mm256_set1_epi16(0x010a));
    const __m256i quads = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
    const __m256i packed = _mm256_packus_epi32(quads, quads);
    const __m256i eights = _mm256_madd_epi16(packed, _mm256_set1_epi32(0x00012710));
    return _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(eights, _mm256_setr_epi32(0, 1, 4, 5, 0, 1, 4, 5)));
}

// The gathered digits of the four groups as four whole numbers.
__attribute__((target("avx2"), always_inline)) inline __m128i
gather_numbers(__m256i v, const uint8_t gather_table[32], const uint8_t from_high[32]) {
    const __m256i d = _mm256_sub_epi8(v, _mm256_set1_epi8('0'));
    const __m256i gather = _mm256_load_si256(reinterpret_cast<const __m256i *>(gather_table));
    const __m256i high = _mm256_load_si256(reinterpret_cast<const __m256i *>(from_high));
    const __m256i low_half = _mm256_permute2x128_si256(d, d, 0x00);
    const __m256i high_half = _mm256_permute2x128_si256(d, d, 0x11);
    const __m256i digits = _mm256_blendv_epi8(_mm256_shuffle_epi8(low_half, gather),
                                              _mm256_shuffle_epi8(high_half, gather), high);
    return numbers_of_groups(digits);
}

// The day of a line of a known layout; false when its month is out of range.
__attribute__((target("avx2"), always_inline)) inline bool gather_day(__m256i v, const layout &l,
                                                                      daily_record &day) {
    const __m128i numbers = gather_numbers(v, l.gather, l.from_high);
    const int month = _mm_cvtsi128_si32(numbers);
    if (month < 1 || month > 12)
        return false;
    // Seven digits at most stay below 2^24, so the conversion is exact, and
    // the divisor is an exact power of ten: each quotient is correctly
    // rounded, as strtof's result is.
    const __m128 magnitude = _mm_div_ps(_mm_cvtepi32_ps(numbers), _mm_load_ps(l.divisor));
    alignas(16) float values[4];
    _mm_store_ps(values, _mm_xor_ps(magnitude, _mm_castsi128_ps(_mm_load_si128(
                                                   reinterpret_cast<const __m128i *>(l.sign)))));
    day.month = month;
    day.tmax = values[1];
    day.tmin = values[2];
    day.prec = values[3];
    return true;
}

// The line ends among the 32 bytes at start, one bit each.
__attribute__((target("avx2"), always_inline)) inline uint32_t line_ends(const char *start) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(start));
    return static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n'))));
}

// The layout of a line's key and digits that a file's earlier line
// described for the fast path; nullptr when it needs another parser.
__attribute__((always_inline)) inline const layout *
find_layout(const line_layouts &cache, const layout_key &key, uint64_t digits) {
    size_t slot = slot_of(key);
    while (cache.table[slot].generation == cache.generation) {
        const layout &l = cache.table[slot];
        if (l.key == key)
            return l.fast && (digits & l.span) == l.digits ? &l : nullptr;
        slot = (slot + 1) & (table_size - 1);
    }
    return nullptr;
}

// The layout of the line at the front of v, as find_layout.
__attribute__((target("avx2"), always_inline)) inline const layout *
known_layout(const line_layouts &cache, __m256i v, uint32_t length) {
    uint64_t digits = 0;
    const layout_key key = key_of(v, length, digits);
    return find_layout(cache, key, digits);
}

// Fields 1, 3 and 4 of a line of a known layout, when the layout has them.
__attribute__((target("avx2"), always_inline)) inline daily_date date_of(__m256i v,
                                                                         const layout &l) {
    daily_date date;
    if (!l.dates)
        return date;
    alignas(16) int32_t fields[4];
    _mm_store_si128(reinterpret_cast<__m128i *>(fields),
                    gather_numbers(v, l.date_gather, l.date_from_high));
    date.day = l.negative[0] ? -fields[0] : fields[0];
    date.year = l.negative[1] ? -fields[1] : fields[1];
    date.day_of_year = l.negative[2] ? -fields[2] : fields[2];
    date.known = true;
    return date;
}

// Counts a line offered to the cache, before its hit is counted; gives the
// cache up when the window ends with fewer hits than half of it, or as soon
// as new layouts come line after line from the start.
inline void count_line(layout_cache &cache) {
    if (++cache.lines == window) {
        cache.given_up = cache.hits < window / 2;
        cache.lines = cache.hits = 0;
    } else if (cache.layouts->filled == early_layouts && cache.hits < early_layouts / 2) {
        cache.given_up = true;
    }
}

// The thread's table, emptied for a new file by a new generation.
inline line_layouts *new_file_layouts() {
    static thread_local std::unique_ptr<line_layouts> thread_layouts;
    if (thread_layouts == nullptr)
        thread_layouts = std::make_unique<line_layouts>();
    ++thread_layouts->generation;
    thread_layouts->filled = 0;
    return thread_layouts.get();
}

// The day of a short line of a cached layout, with its date where the
// layout has one: its length, or 0 when the line is not such a line (or its
// month is out of range). The cache must be usable.
__attribute__((target("avx2"))) inline uint32_t known_layout_day(layout_cache &cache,
                                                                 const char *line, size_t available,
                                                                 daily_record &day,
                                                                 daily_date *date) {
    const uint32_t ends = line_ends(line);
    const uint32_t length = static_cast<uint32_t>(__builtin_ctz(ends | 1u << 31)) + 1;
    if (ends == 0 || length > available)
        return 0;
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(line));
    count_line(cache);
    const layout *l = known_layout(*cache.layouts, v, length);
    if (l == nullptr || !gather_day(v, *l, day))
        return 0;
    ++cache.hits;
    if (date != nullptr)
        *date = date_of(v, *l);
    return length;
}

// Describes the layout of a line (of key) that the general parser takes,
// when it is new and the table has room.
inline void learn(layout_cache &cache, const layout_key &key, const char *line) {
    line_layouts &table = *cache.layouts;
    size_t slot = slot_of(key);
    while (table.table[slot].generation == table.generation) {
        if (table.table[slot].key == key)
            return; // known, and not for the cache
        slot = (slot + 1) & (table_size - 1);
    }
    if (table.filled >= max_layouts)
        return;
    layout &l = table.table[slot];
    l = layout();
    l.generation = table.generation;
    l.key = key;
    ++table.filled;
    describe(l, line);
}

// The same for a short line, with AVX2.
__attribute__((target("avx2"))) inline void learn_layout(layout_cache &cache, const char *line,
                                                         uint32_t length) {
    uint64_t digits = 0;
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(line));
    learn(cache, key_of(v, length, digits), line);
}

#ifdef SITEPREP_AVX512
// With AVX-512, lines of up to 64 bytes: their key from one vector of the
// line, their digits gathered by one byte permutation.
#define SITEPREP_AVX512_STEP __attribute__((target(SITEPREP_AVX512), always_inline)) inline

SITEPREP_AVX512_STEP uint64_t bytes_equal(__m512i v, char c) {
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
}

SITEPREP_AVX512_STEP uint64_t bytes_within(__m512i v, char low, char count) {
    return _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(low)),
                                  _mm512_set1_epi8(count));
}

SITEPREP_AVX512_STEP layout_key key_of_line(__m512i v, uint32_t length, uint64_t &digits) {
    const uint64_t in_line = _bzhi_u64(~0ull, length);
    layout_key key;
    key.blank = (bytes_equal(v, ' ') | bytes_within(v, '\t', 4)) & in_line;
    key.dot = bytes_equal(v, '.') & in_line;
    key.minus = bytes_equal(v, '-') & in_line;
    key.length = length;
    digits = bytes_within(v, '0', 9) & in_line;
    return key;
}

// The four groups a gather table and its valid bytes take, as whole numbers.
SITEPREP_AVX512_STEP __m128i gathered_numbers(__m512i v, const uint8_t index[32], uint32_t valid) {
    const __m512i from =
        _mm512_castsi256_si512(_mm256_load_si256(reinterpret_cast<const __m256i *>(index)));
    const __m256i digits = _mm256_and_si256(
        _mm512_maskz_extracti64x4_epi64(0xff, _mm512_maskz_permutexvar_epi8(valid, from, v), 0),
        _mm256_set1_epi8(0x0f));
    return numbers_of_groups(digits);
}

// The day, and its date where the layout has one, of a line of a cached
// layout up to 64 bytes long: its length, or 0 as known_layout_day.
__attribute__((target(SITEPREP_AVX512))) inline uint32_t
known_line_day(layout_cache &cache, const char *line, size_t available, daily_record &day,
               daily_date *date) {
    const __m512i v = _mm512_loadu_si512(line);
    const uint64_t ends = bytes_equal(v, '\n');
    const uint32_t length = static_cast<uint32_t>(_tzcnt_u64(ends)) + 1;
    if (ends == 0 || length > available)
        return 0;
    count_line(cache);
    uint64_t digits = 0;
    const layout_key key = key_of_line(v, length, digits); // before digits is read
    const layout *l = find_layout(*cache.layouts, key, digits);
    if (l == nullptr)
        return 0;
    const __m128i numbers = gathered_numbers(v, l->index, l->valid);
    const int month = _mm_cvtsi128_si32(numbers);
    if (month < 1 || month > 12)
        return 0;
    // As gather_day: exact conversions, one correctly rounded division.
    const __m128 magnitude = _mm_div_ps(_mm_cvtepi32_ps(numbers), _mm_load_ps(l->divisor));
    alignas(16) float values[4];
    _mm_store_ps(values, _mm_xor_ps(magnitude, _mm_castsi128_ps(_mm_load_si128(
                                                   reinterpret_cast<const __m128i *>(l->sign)))));
    day.month = month;
    day.tmax = values[1];
    day.tmin = values[2];
    day.prec = values[3];
    ++cache.hits;
    if (date != nullptr) {
        *date = daily_date();
        if (l->dates) {
            alignas(16) int32_t fields[4];
            _mm_store_si128(reinterpret_cast<__m128i *>(fields),
                            gathered_numbers(v, l->date_index, l->date_valid));
            date->day = l->negative[0] ? -fields[0] : fields[0];
            date->year = l->negative[1] ? -fields[1] : fields[1];
            date->day_of_year = l->negative[2] ? -fields[2] : fields[2];
            date->known = true;
        }
    }
    return length;
}

__attribute__((target(SITEPREP_AVX512))) inline void
learn_line_layout(layout_cache &cache, const char *line, uint32_t length) {
    uint64_t digits = 0;
    learn(cache, key_of_line(_mm512_loadu_si512(line), length, digits), line);
}
#endif

} // namespace cached_layouts
