// Shared declarations of siteprep: the program-wide streams, the checked
// file helpers and the functions that cross units.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Fixed names in the working directory.
inline constexpr const char *soil_file_name = "soils.in";
inline constexpr const char *temp_file_name = "XXXX.sfp";

// Year-by-month tables of the weather pass.
inline constexpr int max_years = 500;
inline constexpr int months = 12;
using month_table = float[max_years][months];

// Stored for a month without enough valid days; skipped by the statistics.
inline constexpr float missing_value = -99.99f;

// The file being read and the file being written by the current step.
extern FILE *oldfp;
extern FILE *newfp;

// ---- utils: opening, reading, checked writing, the rewrite cycle ----

// Opens path with a stdio mode; flag is 0 on success, 1 on failure (errno
// tells why). A directory opened for reading counts as a failure (EISDIR).
FILE *efopen(const char *path, const char *mode, int *flag);

// Opens a site parameter file for reading; it must be a regular file. On
// failure why holds the reason.
FILE *open_site_file(const std::string &path, std::string &why);

// Reads a stream line by line in large blocks. A line is handed out with its
// line end; lines may be of any length.
struct line_reader {
    explicit line_reader(FILE *stream);
    FILE *fp;
    std::vector<char> block;
    size_t pos = 0;
    size_t end = 0;
    bool at_eof = false;
    int error = 0; // errno of a failed read, 0 if none
    std::string carry;
};

// Sets line to the next line; false at end of input or after a read error
// (reader.error then holds the errno).
bool next_line(line_reader &reader, std::string_view &line);

// "\r\n" when the line ends so, otherwise "\n".
const char *line_end_of(std::string_view line);

// White space as the C locale's isspace sees it (' ', \t, \n, \v, \f, \r);
// a table, since the daily reader asks it of every byte.
inline constexpr auto blank_table = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'})
        table[c] = true;
    return table;
}();

inline bool is_blank_char(char c) {
    return blank_table[static_cast<unsigned char>(c)];
}

// True when the line holds nothing but white space.
bool is_blank(std::string_view line);

// Splits off the next whitespace-separated token starting at pos; empty at end.
std::string_view next_token(std::string_view text, size_t &pos);

// A token is a number only when all of it is one, as strtof / base-10 strtol
// would read it.
bool parse_float(std::string_view token, float &value);
bool parse_int(std::string_view token, int &value);

// Checked output to a stream. The first failure is remembered (with its
// errno) until close_output reports it.
bool put_text(FILE *fp, std::string_view text);
bool put_format(FILE *fp, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Flushes and closes an output stream; 0 or the errno of the first failure
// since the stream was opened.
int close_output(FILE *fp);

// Closes an input stream; 0 or the errno of the failure.
int close_input(FILE *fp);

// Copies everything from one stream to the other; 0 or the errno of the
// first read or write failure.
int copy_stream(FILE *from, FILE *to);

// One line of the site list.
struct site_line {
    std::string name;
    float latitude = 0, longitude = 0;
    float sand = 0, silt = 0, clay = 0;
    float bulk_density = 0;
    float pass_through = 0;
    int layer_code = 0;
    float elevation = 0;
};

enum class parse_status { ok, blank, bad };

// Parses a site list line; on bad, why says what is wrong.
parse_status parse_site_line(std::string_view line, site_line &site, std::string &why);

// The rewrite cycle of a site parameter file. copy_and_swap copies oldfp
// (the site file) to newfp (the temporary copy), then reopens the copy as
// oldfp and the site file, emptied, as newfp. finish_rewrite closes both
// after the rewriting pass and deletes the copy; when anything failed it
// restores the site file from the copy. Both print their own messages and
// return false on failure.
bool copy_and_swap(const std::string &site_file);
bool finish_rewrite(const std::string &site_file);
// Restores the site file from the temporary copy after a failed pass and
// says so; when even that fails, keeps the copy and says that it holds the
// original.
void restore_site_file(const std::string &site_file);

// ---- create_site: the site keyword pass ----
void create_site(float latitude, float longitude, float layers, float elevation);

// ---- create_soil: soil water characteristics and "soils.in" ----
void get_soilvalues(float Sa, float Cl, float &wilting_point, float &field_capacity,
                    float &conductivity, float &bulk_density);
int soil_row_count(int layer_code);
void create_soil(float sand, float silt, float clay, float &bulk_density, float pass_through,
                 int layer_code);

// ---- process_weather: daily file to year-by-month tables ----

// Where and why a daily weather file could not be read.
struct daily_error {
    long line = 0; // 0: the stream failed (reason holds the system's text)
    std::string reason;
};

// One day of the daily weather file.
struct daily_record {
    int month = 0;
    float tmax = 0, tmin = 0, prec = 0;
};

// Parses a daily line; on bad, why says what is wrong.
parse_status parse_daily_line(std::string_view line, daily_record &day, std::string &why);

// Fills the tables and returns the index of the last year row, or -1 when the
// file cannot be used (err says where and why).
int process_daily_weather(FILE *wthfp, month_table &prec, month_table &tmin, month_table &tmax,
                          daily_error &err);

// The bad lines of a whole daily file: how many, and the first few.
struct daily_problems {
    static constexpr int kept = 20;
    int count = 0;
    std::vector<daily_error> first;
};

// The same reading. With all_bad, a bad line is counted there and skipped,
// so that a check sees every one; a read error or too many years still end
// the reading. Without it, the first bad line ends it, in err.
int read_daily_weather(FILE *wthfp, month_table &prec, month_table &tmin, month_table &tmax,
                       daily_error &err, daily_problems *all_bad);

// ---- wthr: monthly statistics and the weather block ----
void stats(int years, const month_table &table, float mean[months], float deviation[months],
           float skewness[months]);
// The weather pass; false when the daily file cannot be used (nothing has
// been written to newfp then).
bool weather(FILE *wthfp, daily_error &err);
