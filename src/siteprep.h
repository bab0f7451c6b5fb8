// Shared declarations of siteprep: the program-wide streams, the checked
// file helpers and the functions that cross units.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
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
// tells why). A directory opened for reading counts as a failure (EISDIR),
// and so does a path holding a NUL byte (EINVAL).
FILE *efopen(const char *path, const char *mode, int *flag);
FILE *efopen(const std::string &path, const char *mode, int *flag);

// Opens an input that must be a regular file, without waiting on a pipe or
// a device; -1 with why set on failure. With write_errno, opens it for
// writing too where it may be written, else sets the errno that says why not.
int open_regular(const std::string &path, std::string &why, int *write_errno = nullptr);

// Opens a site's daily weather file: a regular file, and not the site file
// open as site_fd (-1: none); nullptr with why set on failure.
FILE *open_weather_file(const std::string &path, int site_fd, std::string &why);

// Longest lines accepted: a daily weather line, and a line of the site list
// or of a site parameter file.
inline constexpr size_t max_daily_line = 64 * 1024;
inline constexpr size_t max_text_line = 1024 * 1024;

// Bytes readable past the end of a line in a reader's block, so that a
// vector load from the line's start stays in bounds.
inline constexpr size_t line_padding = 32;

// Reads a stream line by line in large blocks. A line is handed out with its
// line end; a line longer than max_line ends the reading (too_long).
struct line_reader {
    explicit line_reader(FILE *stream, size_t max_line = SIZE_MAX);
    FILE *fp;
    size_t max_line;
    std::vector<char> block;
    size_t pos = 0;
    size_t end = 0;
    bool at_eof = false;
    bool too_long = false;
    bool padded = false; // the last line is followed by line_padding readable bytes
    int error = 0;       // errno of a failed read, 0 if none
    std::string carry;
};

// Sets line to the next line; false at end of input, after a read error
// (reader.error then holds the errno) or at a line that is too long.
bool next_line(line_reader &reader, std::string_view &line);

// "line longer than N bytes" for a limit.
std::string too_long_reason(size_t max_line);

// A token as a message quotes it: its first 40 characters, in double
// quotes, with bytes that are not printable written as \xNN.
std::string quote_token(std::string_view token);
// A name (of a site or a file) as a message shows it: bytes that would
// reach a terminal as control codes, or that are not UTF-8, written as \xNN.
std::string shown_name(std::string_view name);
// "1 site", "2 sites": a count and a noun that takes an s.
std::string counted(long count, const char *thing);
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

// Copies everything from one stream to the other; 0 or the errno of the
// first read or write failure.
int copy_stream(FILE *from, FILE *to);

// Closes an input stream; 0 or the errno of the failure.
int close_input(FILE *fp);

// Flushes and closes an output stream, first syncing it to the disk when
// sync is set; 0 or the errno of the first failure since it was opened.
int close_output(FILE *fp, bool sync);

// Prints an error message (one or more lines) on standard output; the
// first since the last take_first_report is kept, on one line, to be named
// again in a run's list of failed sites.
void report(const std::string &text);
std::string take_first_report();

// A printf format filled in, as a string.
std::string format_message(const char *format, ...) __attribute__((format(printf, 1, 2)));

enum class parse_status { ok, blank, bad };

// Opens a file to be written over from its start without emptying it first
// (a file emptied and written again costs the file system more); flag as
// for efopen.
FILE *open_for_overwrite(const std::string &path, bool create, int *flag);

// Flushes an output stream opened so, cuts the file to what was written,
// syncs it when sync is set, and closes it; 0 or the errno of the first
// failure.
int close_overwritten(FILE *fp, bool sync);

// Writes a file whole: through a temporary file named temp_prefix and six
// characters, renamed into place, so that no reader sees half of it (an
// interrupt waits meanwhile); a target that exists and is not a regular
// file (/dev/null, a pipe) is written to directly instead. write puts the
// content and returns 0 or the errno of a failure to read it. 0 or the
// errno of the failure; the temporary file is gone then.
int write_file_whole(const std::string &path, const std::string &temp_prefix,
                     const std::function<int(FILE *)> &write, bool sync);
int write_through_temp(const std::string &path, const std::string &temp_prefix,
                       std::string_view text, bool sync);

// A file without a name, in the directory of path, to stream an output
// into before it is put in place; nullptr with err set on failure.
FILE *open_unnamed_beside(const std::string &path, int &err);

// While set, an interrupt, a hang-up or a closed output pipe waits: the
// process then ends between two writes of a file, never in the middle.
void defer_interrupts(bool defer);

// ---- the rewrite cycle ----

// With --sync, every rewrite syncs the copy before the site file is opened
// for writing and the site file before the copy is deleted.
extern bool sync_rewrites;

// One in-place rewrite of a site parameter file through the temporary copy.
// The copy is created with the site file's permission bits and used through
// one descriptor from its creation to its deletion.
struct rewrite {
    std::string site_file;
    int site_fd = -1;     // the site file, open for reading; owned by the caller
    int write_errno = 0;  // why site_fd is not open for writing too; 0 when it is
    FILE *copy = nullptr; // the temporary copy while it exists
};

// Creates the temporary copy exclusively (an existing file or link is never
// reused); false with errno set.
bool create_temp_copy(rewrite &rw);

// Copies the site file into the temporary copy, then makes the copy oldfp and
// the site file, opened to be written over, newfp. On failure it says
// why, removes the copy and returns false; the site file is untouched then.
bool copy_and_swap(rewrite &rw);

// After the rewriting pass: cuts the site file to its new length, closes
// newfp and deletes the copy. When a read
// or write failed, restores the site file from the copy instead; false then.
bool finish_rewrite(rewrite &rw);

// Restores the site file from the temporary copy after a failed pass and
// says so; when even that fails, keeps the copy and says that it holds the
// original.
void restore_site_file(rewrite &rw);

// Takes an exclusive lock on an open site file for the time its site is
// rewritten, so that two runs sharing a site take turns; waits (after
// saying so once) while another run holds it.
void lock_site_file(int fd, const std::string &path);

// ---- site_list: the site list, read whole before the first site ----

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

// Parses a site list line; on bad, why says what is wrong.
parse_status parse_site_line(std::string_view line, site_line &site, std::string &why);

// A non-blank line of the site list: the site, or why it cannot be used.
struct listed_site {
    long line_number = 0;
    site_line site;
    std::string problem; // the whole message; empty for a usable line
};

struct site_list {
    std::vector<listed_site> lines;
    std::string read_problem; // a read error or an over-long line; empty if none
};

// Reads every line of an open site list.
site_list read_site_list(FILE *list, const char *list_path);

// Device and inode: which file a path names, through links and "..".
struct file_id {
    unsigned long long dev = 0, ino = 0;
    bool operator==(const file_id &) const = default;
};
bool id_of_fd(int fd, file_id &id);

// Messages that the run and the check share.
inline constexpr char list_open_message[] = "Error opening data input file!";
inline constexpr char site_line_message[] = "Error in site list %s line %ld: %s";
inline constexpr char soil_open_message[] = "Error opening soils.in file for %s!";
inline constexpr char keys_site_open_message[] = "Error opening <%s>.sfp file!";
inline constexpr char keys_temp_open_message[] = "Error opening temporary file for %s!";
inline constexpr char weather_open_message[] = "Error opening weather data file for %s site!";
inline constexpr char weather_line_message[] = "Error in weather data file %s line %ld: %s";
inline constexpr char site_file_line_message[] = "Error in site parameter file %s line %ld: %s";
inline constexpr char read_message[] = "Error reading %s: %s";
inline constexpr char temp_left_over_message[] =
    "XXXX.sfp already exists in the working directory. It may hold the only intact copy of a "
    "site parameter file from an interrupted run: compare it with that site's .sfp file, keep "
    "the intact one, then remove or rename XXXX.sfp and run again.";

// ---- create_site: the site keyword pass ----
void create_site(float latitude, float longitude, float layers, float elevation);
// Which site key (0 to 4) the pass puts in place of a line; -1 for none.
int site_key_of_line(std::string_view line);
const char *site_key_name(int key);

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

// The daily-line parser for CPUs with AVX2 (chosen at run time), with the
// line layouts of one daily file; the same results as parse_daily_line.
struct line_layouts;
struct fast_daily_parser {
    fast_daily_parser();
    bool vectorized() const;         // false: every line goes to parse_daily_line
    line_layouts *layouts = nullptr; // the thread's: one file is read at a time
    // A file whose lines keep changing layout goes to the general parser
    // alone: lines and cache hits of the current window.
    unsigned lines = 0, hits = 0;
    bool given_up = false;
};

// Whether new parsers may use AVX2 (tests and benchmarks compare the two).
extern bool daily_simd_enabled;

// Parses a daily line as parse_daily_line does. With padded, line_padding
// bytes past the line's end may be read.
parse_status parse_daily_line_fast(fast_daily_parser &parser, std::string_view line, bool padded,
                                   daily_record &day, std::string &why);

// The next line of a daily file, as next_line gives it, found without a
// library call for a short line when the parser is vectorized.
bool next_daily_line(line_reader &reader, const fast_daily_parser &parser, std::string_view &line);

// Fields 1, 3 and 4 of a daily line (day, year, day of the year) as whole
// numbers, when known.
struct daily_date {
    long day = 0, year = 0, day_of_year = 0;
    bool known = false;
};

// Parses up to most lines from the reader's position, stopping before the
// first that needs the general parser or lies past the block read: the
// common case of a daily file, a short line of a layout seen before. Each
// day gets the general parser's values; lines and dates, unless null, get
// each line and, where its layout allows, its date fields. Returns how many
// lines were parsed.
size_t next_fast_days(line_reader &reader, fast_daily_parser &parser, daily_record *days,
                      std::string_view *lines, daily_date *dates, size_t most);

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
// the reading. Without it, the first bad line ends it, in err. With audit,
// every non-blank line is also handed to the audit.
struct daily_audit;
int read_daily_weather(FILE *wthfp, month_table &prec, month_table &tmin, month_table &tmax,
                       daily_error &err, daily_problems *all_bad, daily_audit *audit = nullptr);

// ---- wthr: monthly statistics and the weather block ----

// Computes mean, deviation and skewness of every month over the years. A
// month whose skewness cannot be computed says so on standard output, or,
// with replaced given, is counted there for the caller to say later.
void stats(int years, const month_table &table, float mean[months], float deviation[months],
           float skewness[months], int *replaced = nullptr);

// What the weather block of a site is made of, computed from the daily file
// before the site file is touched.
struct weather_stats {
    int years = 0;
    float prec_mean[months], prec_dev[months], prec_skew[months];
    float tmin_mean[months], tmin_dev[months], tmin_skew[months];
    float tmax_mean[months], tmax_dev[months], tmax_skew[months];
    int skew_replaced = 0;     // months whose skewness was replaced by 0
    int count[3][months] = {}; // valid year cells of precipitation, Tmin, Tmax
};

// The statistics of the tables of years year rows; the skewness messages
// are counted, not printed.
void compute_stats(weather_stats &ws, int years, const month_table &prec, const month_table &tmin,
                   const month_table &tmax);

// Reads the daily file and computes the statistics; false when the file
// cannot be used (err says where and why).
bool compute_weather(FILE *wthfp, weather_stats &ws, daily_error &err);

// Prints the skewness messages of a site's statistics.
void say_skew_replacements(const weather_stats &ws);

// The weather pass: oldfp to newfp with lines 3 to 62 replaced by the block.
void weather(const weather_stats &ws);

// ---- batch and check: the two ways through a site list ----

// Opens the site list, saying why when it cannot be opened.
FILE *open_site_list(const char *list_path);

// A copy left by an interrupted run may hold the only intact content of a
// site file: neither the run nor the check starts over it.
bool temp_copy_left_over();

struct batch_outputs;

// How a run goes through its sites.
struct run_options {
    int threads = 1;                  // reading daily files ahead (1: no threads)
    bool keep_going = false;          // past a failed site, with a list of failures at the end
    bool keep_soils = false;          // each site's soil rows also to NAME.soils.in
    bool progress = false;            // a progress line on standard error
    batch_outputs *outputs = nullptr; // --summary and --report, or nullptr
};

// Runs every site of the list; the exit status.
int run_batch(const char *list_path, const run_options &options);

// ---- progress: the progress line of a run ----

struct progress_line;
// A progress line for a run of total sites, or nullptr when it is off.
std::unique_ptr<progress_line, void (*)(progress_line *)> start_progress(bool on, size_t total);
// Shows that done sites are done and the next one is name.
void show_progress(progress_line *line, size_t done, const std::string &name);
// Clears the line.
void hide_progress(progress_line *line);
// Clears it when standard output goes to the same terminal, before a site
// may print there.
void hide_progress_for_output(progress_line *line);

// ---- work_ahead: work done ahead on worker threads ----

// Jobs 0 to count - 1, done in order a few ahead of the main thread on
// threads in all, the main thread among them (1: no worker threads). Job i
// keeps its result in slot i % work_ahead_window(threads) of the caller's,
// which holds it from take_job(i) to take_job(i + 1).
struct work_ahead;
using work_ahead_ptr = std::unique_ptr<work_ahead, void (*)(work_ahead *)>;
size_t work_ahead_window(int threads);
// The threads to run on, fewer than asked where the limit of open files
// would not leave per_worker descriptors to each worker besides the
// main_needs of the main thread: a worker must never take what the main
// thread needs, so that every thread count gives the same run.
int threads_for_descriptors(int threads, int per_worker, int main_needs);
work_ahead_ptr start_work_ahead(size_t count, int threads, std::function<void(size_t)> job);
// Returns when job i is done, doing jobs itself meanwhile; jobs are taken
// in order.
void take_job(work_ahead &w, size_t i);

// Checks every site of the list, writing nothing, on that many threads;
// the exit status. With strict, warnings count as problems; with
// keep_soils, the files --keep-soils would write are guarded too.
int check_batch(const char *list_path, bool strict, bool keep_soils, int threads,
                batch_outputs *outputs);

// ---- audit: what the files will do to the statistics ----

// Warnings go to out.
// Warns of site-list values out of their range; the number of warnings.
int audit_site_line(FILE *out, const site_line &site, const char *list_path, long line_number);

// What the audit gathers from a daily file as it is read, line by line.
struct daily_audit;
std::unique_ptr<daily_audit, void (*)(daily_audit *)> start_daily_audit();
// A non-blank daily line; day is nullptr for a line that is not valid.
void audit_daily_line(daily_audit &a, std::string_view line, const daily_record *day, long number,
                      const daily_date *date = nullptr);

// Warns of what the site file (open as site_fd, -1: none) and the daily file
// (audited as it was read, nullptr: not read), with the tables read from it,
// will do to the statistics; the number of warnings.
int audit_site(FILE *out, const site_line &site, int site_fd, daily_audit *audit, int years,
               const month_table &prec, const month_table &tmin, const month_table &tmax);
