// Opening files, reading lines, parsing tokens, checked writing and files
// written whole: the seam through which every file operation goes.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Opens path with a stdio mode; flag is 0 on success, 1 on failure (errno
// tells why). A directory opened for reading counts as a failure (EISDIR),
// and so does a path holding a NUL byte (EINVAL).
FILE *efopen(const char *path, const char *mode, int *flag);
FILE *efopen(const std::string &path, const char *mode, int *flag);

// Opens an input that must be a regular file, without waiting on a pipe or
// a device; -1 with why set on failure. With write_errno, opens it for
// writing too where it may be written, else sets the errno that says why not.
// With st, the file's status is left there.
int open_regular(const std::string &path, std::string &why, int *write_errno = nullptr,
                 struct stat *st = nullptr);

// Opens a site's daily weather file: a regular file, and not the site file
// open as site_fd (-1: none); nullptr with why set on failure.
FILE *open_weather_file(const std::string &path, int site_fd, std::string &why);
// A daily weather file opened as a regular file's descriptor (read by a
// line_reader of it), and which file it is, for the caller to compare with
// the site file; -1 with why set on failure.
struct file_id;
int open_weather_fd(const std::string &path, std::string &why, file_id &id);

// Longest lines accepted: a daily weather line, and a line of the site list
// or of a site parameter file.
inline constexpr size_t max_daily_line = 64 * 1024;
inline constexpr size_t max_text_line = 1024 * 1024;

// Bytes readable past the end of a reader's block read, so that a
// vector load from the start of a line in it stays in bounds.
inline constexpr size_t line_padding = 64;

// Reads a stream line by line in large blocks. A line is handed out with its
// line end; a line longer than max_line ends the reading (too_long).
struct line_reader {
    explicit line_reader(FILE *stream, size_t max_line = SIZE_MAX);
    // Reads a regular file's descriptor, whose first short read is its end.
    line_reader(int descriptor, size_t max_line);
    FILE *fp;
    int fd = -1;
    size_t max_line;
    std::vector<char> block;
    size_t pos = 0;
    size_t end = 0;
    bool at_eof = false;
    bool too_long = false;
    int error = 0; // errno of a failed read, 0 if none
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

// The size of the blocks files are read and copied in.
inline constexpr size_t io_block_size = 1 << 16;

// Checked output to a stream. The stream's first failure is remembered
// (with its errno) until close_output reports it.
bool put_text(FILE *fp, std::string_view text);
bool put_format(FILE *fp, const char *format, ...) __attribute__((format(printf, 2, 3)));
// The stream's remembered write failure, now forgotten; 0 if none.
int take_write_error(FILE *fp);

// Copies everything from one stream to the other; 0 or the errno of the
// first read or write failure.
int copy_stream(FILE *from, FILE *to);

// Closes an input stream; 0 or the errno of the failure.
int close_input(FILE *fp);

// Flushes and closes an output stream, first syncing it to the disk when
// sync is set; 0 or the errno of the first failure since it was opened.
int close_output(FILE *fp, bool sync);

// Says that memory ran out and the run or check stopped; the exit status.
// Every site file is whole then: a rewrite restores its own.
int say_out_of_memory();

// Messages are the run's record: a lost one is an error too. The status,
// or 1 (after saying so on standard error as program) when standard
// output could not be written.
int finish_stdout(const char *program, int status);

// A printf format filled in, as a string.
std::string format_message(const char *format, ...) __attribute__((format(printf, 1, 2)));

enum class parse_status { ok, blank, bad };

// Opens a file to be written over from its start without emptying it first
// (a file emptied and written again costs the file system more): its
// descriptor, or -1 with errno set.
int open_for_overwrite(const std::string &path, bool create);

// Writes text over an open file from its start and cuts the file to it
// (unless the file is known to be no longer than text: known_size), syncing
// it when sync is set; 0 or the errno of the first failure.
int write_over_fd(int fd, std::string_view text, bool sync, size_t known_size = SIZE_MAX);

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
// The same for a file whose writing may wait on its input (an import
// reading a pipe) and that replaces a user's file: an interrupt during the
// write removes the temporary file and ends the process, only the rename
// waits for it; the file keeps the mode of the one it replaces.
int write_file_replacing(const std::string &path, const std::string &temp_prefix,
                         const std::function<int(FILE *)> &write);
// The file that write_file_whole renames into place for path: path, or
// the file a link leads to; empty when it writes to path directly instead.
std::string renamed_into_place(const std::string &path);

// The directory part of a path ("." for none) and the name after it.
std::string dir_of(const std::string &path);
std::string base_of(const std::string &path);

// The file a link leads to, through further links, or the name a write
// through it would create (path itself when it is no link).
std::string link_target(std::string path);

// A file without a name, in the directory of path, to stream an output
// into before it is put in place; nullptr with err set on failure.
FILE *open_unnamed_beside(const std::string &path, int &err);

// Device and inode: which file a path names, through links and "..".
struct file_id {
    unsigned long long dev = 0, ino = 0;
    bool operator==(const file_id &) const = default;
};
bool id_of_fd(int fd, file_id &id);
file_id id_of_status(const struct stat &st);
