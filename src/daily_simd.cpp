// The daily-line parser for CPUs with AVX2. Real daily files hold few line
// layouts (where the blanks, signs and decimal points stand), so the first
// line of each layout is parsed by the general parser and described once;
// every later line of that layout only has its digits checked and gathered
// by one byte shuffle. Anything else goes to the general parser, so that
// the accepted lines and every value are exactly the general parser's.
#include "daily_simd.h"

#include <cstring>
#include <memory>

#if defined(__x86_64__) && !defined(SITEPREP_NO_AVX2)
#include <immintrin.h>
#define SITEPREP_HAVE_AVX2 1
#endif

#ifdef SITEPREP_HAVE_AVX2

namespace {

// Where a line's bytes are blanks, decimal points and minus signs, and its
// length (the line end included): lines alike in these share a layout.
struct layout_key {
    uint32_t blank = 0, dot = 0, minus = 0, length = 0;
    bool operator==(const layout_key &) const = default;
};

struct layout {
    layout_key key;
    unsigned generation = 0; // in use while it is its table's generation
    bool fast = false;       // false: lines of this layout go to the general parser
    uint32_t digits = 0;     // the positions that must hold digits
    // Gathers the digits of the month and the three values into four groups
    // of eight bytes, right-aligned; 0x80 gives a zero.
    alignas(32) uint8_t gather[32];
    alignas(32) uint8_t from_high[32]; // 0x80 where the byte comes from bytes 16 to 31
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
bool simple_token(const char *line, token t, bool whole, int &digit_count, int &scale) {
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
void gather_digits(const char *line, token t, int g, uint8_t gather[32], uint8_t from_high[32]) {
    int out = 8 * g + 7;
    for (int k = static_cast<int>(t.length) - 1; k >= 0; --k) {
        const uint32_t at = t.start + static_cast<uint32_t>(k);
        const char c = line[at];
        if (c < '0' || c > '9')
            continue;
        gather[out] = static_cast<uint8_t>(at & 15);
        from_high[out] = at >= 16 ? 0x80 : 0;
        --out;
    }
}

// Describes the layout of a line that the general parser accepted.
void describe(layout &l, const char *line) {
    token tokens[8];
    int count = 0;
    for (uint32_t i = 0; i + 1 < l.key.length;) {
        if (l.key.blank >> i & 1) {
            ++i;
            continue;
        }
        if (count == 7)
            return; // extra fields: left to the general parser
        token &t = tokens[count++];
        t.start = i;
        while (i + 1 < l.key.length && !(l.key.blank >> i & 1))
            ++i;
        t.length = i - t.start;
    }
    if (count != 7)
        return;
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
                l.digits |= 1u << (tokens[i].start + k);
    }
    std::memset(l.gather, 0x80, sizeof l.gather);
    std::memset(l.from_high, 0, sizeof l.from_high);
    for (int g = 0; g < 4; ++g) {
        const token t = tokens[gathered[g]];
        gather_digits(line, t, g, l.gather, l.from_high);
        if (g > 0) {
            int digit_count = 0, scale = 0;
            simple_token(line, t, false, digit_count, scale);
            l.divisor[g] = exact_powers_of_ten[scale];
            l.sign[g] = line[t.start] == '-' ? 0x80000000u : 0;
        }
    }
    l.fast = true;
    std::memset(l.date_gather, 0x80, sizeof l.date_gather);
    std::memset(l.date_from_high, 0, sizeof l.date_from_high);
    const int dated[3] = {0, 2, 3};
    for (int g = 0; g < 3; ++g) {
        const token t = tokens[dated[g]];
        int digit_count = 0, scale = 0;
        simple_token(line, t, true, digit_count, scale);
        if (digit_count > 8)
            return;
        gather_digits(line, t, g, l.date_gather, l.date_from_high);
        l.negative[g] = line[t.start] == '-';
    }
    l.dates = true;
}

} // namespace

// The layouts of the file being read. The table is the thread's, kept from
// file to file; a new file empties it by starting a new generation.
struct line_layouts {
    layout table[table_size];
    unsigned generation = 0;
    size_t filled = 0;
};

namespace {

// The steps of a line are inlined into the loops that call them: a call per
// step costs as much as the step.
__attribute__((target("avx2"), always_inline)) inline layout_key key_of(__m256i v, uint32_t length,
                                                                        uint32_t &digits) {
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
    uint64_t h = (static_cast<uint64_t>(k.blank) << 32 | k.dot) * 0x9e3779b97f4a7c15ull;
    h ^= (static_cast<uint64_t>(k.minus) << 8 | k.length) * 0xc2b2ae3d27d4eb4full;
    return static_cast<size_t>(h >> 40) & (table_size - 1);
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
    const __m256i pairs = _mm256_maddubs_epi16(digits, _mm256_set1_epi16(0x010a));
    const __m256i quads = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
    const __m256i packed = _mm256_packus_epi32(quads, quads);
    const __m256i eights = _mm256_madd_epi16(packed, _mm256_set1_epi32(0x00012710));
    return _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(eights, _mm256_setr_epi32(0, 1, 4, 5, 0, 1, 4, 5)));
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

// True when the line was parsed here; false leaves it to the general parser.
__attribute__((target("avx2"))) bool parse_fast(line_layouts &cache, std::string_view line,
                                                daily_record &day, unsigned &hits) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(line.data()));
    uint32_t digits = 0;
    const layout_key key = key_of(v, static_cast<uint32_t>(line.size()), digits);
    size_t slot = slot_of(key);
    while (cache.table[slot].generation == cache.generation && !(cache.table[slot].key == key))
        slot = (slot + 1) & (table_size - 1);
    layout &l = cache.table[slot];
    if (l.generation != cache.generation) {
        // A new layout: described only from a line the general parser takes.
        std::string why;
        if (cache.filled >= max_layouts || parse_daily_line(line, day, why) != parse_status::ok)
            return false;
        l = layout();
        l.generation = cache.generation;
        l.key = key;
        ++cache.filled;
        describe(l, line.data());
        return true; // day holds the general parser's values
    }
    if (!l.fast || digits != l.digits)
        return false;
    ++hits;
    return gather_day(v, l, day);
}

// The line ends among the 32 bytes at start, one bit each.
__attribute__((target("avx2"), always_inline)) inline uint32_t line_ends(const char *start) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(start));
    return static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n'))));
}

// The length of a line that ends within the 32 bytes at start, its line
// end included; 0 for a longer one.
__attribute__((target("avx2"))) size_t short_line_length(const char *start) {
    const uint32_t ends = line_ends(start);
    return ends == 0 ? 0 : static_cast<size_t>(__builtin_ctz(ends)) + 1;
}

// The layout of the line at the front of v that a file's earlier line
// described for the fast path; nullptr when it needs the general parser.
__attribute__((target("avx2"), always_inline)) inline const layout *
known_layout(const line_layouts &cache, __m256i v, uint32_t length) {
    uint32_t digits = 0;
    const layout_key key = key_of(v, length, digits);
    size_t slot = slot_of(key);
    while (cache.table[slot].generation == cache.generation) {
        const layout &l = cache.table[slot];
        if (l.key == key)
            return l.fast && digits == l.digits ? &l : nullptr;
        slot = (slot + 1) & (table_size - 1);
    }
    return nullptr;
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
inline void count_line(fast_daily_parser &parser, const line_layouts &cache) {
    if (++parser.lines == window) {
        parser.given_up = parser.hits < window / 2;
        parser.lines = parser.hits = 0;
    } else if (cache.filled == early_layouts && parser.hits < early_layouts / 2) {
        parser.given_up = true;
    }
}

// The run of lines from the reader's position that the cache parses.
__attribute__((target("avx2"))) size_t fast_days(line_reader &reader, fast_daily_parser &parser,
                                                 daily_record *days, std::string_view *lines,
                                                 daily_date *dates, size_t most) {
    const line_layouts &cache = *parser.layouts;
    const char *const block = reader.block.data();
    size_t pos = reader.pos;
    size_t count = 0;
    while (count < most && !parser.given_up && pos < reader.end) {
        const uint32_t ends = line_ends(block + pos);
        if (ends == 0)
            break; // a line too long to take here
        const uint32_t length = static_cast<uint32_t>(__builtin_ctz(ends)) + 1;
        if (length > reader.end - pos)
            break; // it ends past the block read
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + pos));
        const layout *l = known_layout(cache, v, length);
        if (l == nullptr || !gather_day(v, *l, days[count]))
            break;
        count_line(parser, cache);
        ++parser.hits;
        if (lines != nullptr)
            lines[count] = std::string_view(block + pos, length);
        if (dates != nullptr)
            dates[count] = date_of(v, *l);
        pos += length;
        ++count;
    }
    reader.pos = pos;
    return count;
}

} // namespace

bool daily_simd_enabled = true;

fast_daily_parser::fast_daily_parser() {
    if (!daily_simd_enabled || !__builtin_cpu_supports("avx2"))
        return;
    static thread_local std::unique_ptr<line_layouts> thread_layouts;
    if (thread_layouts == nullptr)
        thread_layouts = std::make_unique<line_layouts>();
    layouts = thread_layouts.get();
    ++layouts->generation;
    layouts->filled = 0;
}

parse_status parse_daily_line_fast(fast_daily_parser &parser, std::string_view line, bool padded,
                                   daily_record &day, std::string &why) {
    line_layouts *cache = parser.layouts;
    if (cache != nullptr && !parser.given_up) {
        count_line(parser, *cache);
        if (padded && line.size() <= 32 && !line.empty() && line.back() == '\n' &&
            parse_fast(*cache, line, day, parser.hits))
            return parse_status::ok;
    }
    return parse_daily_line(line, day, why);
}

size_t next_fast_days(line_reader &reader, fast_daily_parser &parser, daily_record *days,
                      std::string_view *lines, daily_date *dates, size_t most) {
    return parser.layouts != nullptr ? fast_days(reader, parser, days, lines, dates, most) : 0;
}

bool next_daily_line(line_reader &reader, const fast_daily_parser &parser, std::string_view &line) {
    if (parser.layouts != nullptr && !parser.given_up && reader.pos < reader.end)
        if (const size_t n = short_line_length(reader.block.data() + reader.pos);
            n != 0 && n <= reader.end - reader.pos) {
            line = std::string_view(reader.block.data() + reader.pos, n);
            reader.pos += n;
            reader.padded = true;
            return true;
        }
    return next_line(reader, line);
}

#else

bool daily_simd_enabled = false;

bool next_daily_line(line_reader &reader, const fast_daily_parser &, std::string_view &line) {
    return next_line(reader, line);
}

fast_daily_parser::fast_daily_parser() {}

size_t next_fast_days(line_reader &, fast_daily_parser &, daily_record *, std::string_view *,
                      daily_date *, size_t) {
    return 0;
}

parse_status parse_daily_line_fast(fast_daily_parser &, std::string_view line, bool,
                                   daily_record &day, std::string &why) {
    return parse_daily_line(line, day, why);
}

#endif

bool fast_daily_parser::vectorized() const {
    return layouts != nullptr;
}
