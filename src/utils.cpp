// Opening, line reading, checked writing and the in-place rewrite cycle of
// a site parameter file.
#include "siteprep.h"

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

FILE *oldfp = nullptr;
FILE *newfp = nullptr;

FILE *efopen(const char *path, const char *mode, int *flag) {
    *flag = 0;
    FILE *fp = std::fopen(path, mode);
    if (fp == nullptr) {
        *flag = 1;
        return nullptr;
    }
    // fopen accepts a directory for reading; its first read would fail.
    struct stat st;
    if (mode[0] == 'r' && fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(fp);
        errno = EISDIR;
        *flag = 1;
        return nullptr;
    }
    return fp;
}

FILE *open_site_file(const std::string &path, std::string &why) {
    int flag = 0;
    FILE *fp = efopen(path.c_str(), "r", &flag);
    if (flag) {
        why = std::strerror(errno);
        return nullptr;
    }
    // It is rewritten in place: a device or a pipe cannot be.
    struct stat st;
    if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(fp);
        why = "not a regular file";
        return nullptr;
    }
    return fp;
}

// ---- line reading ----

static constexpr size_t block_size = 1 << 16;

line_reader::line_reader(FILE *stream) : fp(stream), block(block_size) {}

static void fill_block(line_reader &r) {
    r.pos = 0;
    r.end = std::fread(r.block.data(), 1, r.block.size(), r.fp);
    if (r.end < r.block.size()) {
        r.at_eof = true;
        if (std::ferror(r.fp))
            r.error = errno ? errno : EIO;
    }
}

bool next_line(line_reader &r, std::string_view &line) {
    bool carrying = false;
    for (;;) {
        if (r.pos < r.end) {
            const char *start = r.block.data() + r.pos;
            size_t left = r.end - r.pos;
            const char *nl = static_cast<const char *>(std::memchr(start, '\n', left));
            if (nl != nullptr) {
                size_t n = static_cast<size_t>(nl - start) + 1;
                r.pos += n;
                if (!carrying) {
                    line = std::string_view(start, n);
                    return true;
                }
                r.carry.append(start, n);
                line = r.carry;
                return true;
            }
            // The line goes on in the next block.
            if (!carrying)
                r.carry.clear();
            carrying = true;
            r.carry.append(start, left);
            r.pos = r.end;
        }
        if (r.at_eof)
            break;
        fill_block(r);
    }
    if (carrying && r.error == 0) {
        line = r.carry;
        return true;
    }
    return false;
}

const char *line_end_of(std::string_view line) {
    return line.size() >= 2 && line.substr(line.size() - 2) == "\r\n" ? "\r\n" : "\n";
}

bool is_blank(std::string_view line) {
    for (char c : line)
        if (!is_blank_char(c))
            return false;
    return true;
}

std::string_view next_token(std::string_view text, size_t &pos) {
    while (pos < text.size() && is_blank_char(text[pos]))
        ++pos;
    size_t start = pos;
    while (pos < text.size() && !is_blank_char(text[pos]))
        ++pos;
    return text.substr(start, pos - start);
}

// from_chars rejects a leading '+', which strtof and strtol take.
static std::string_view without_plus(std::string_view token) {
    if (token.size() > 1 && token[0] == '+' && token[1] != '+' && token[1] != '-')
        token.remove_prefix(1);
    return token;
}

bool parse_float(std::string_view token, float &value) {
    std::string_view digits = without_plus(token);
    if (digits.empty() || digits[0] == '+')
        return false;
    const char *end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (ec == std::errc() && ptr == end)
        return true;
    // Hexadecimal floats and values out of float range: strtof decides.
    std::string copy(token);
    char *stop = nullptr;
    float v = std::strtof(copy.c_str(), &stop);
    if (copy.empty() || stop != copy.c_str() + copy.size() || is_blank_char(copy[0]))
        return false;
    value = v;
    return true;
}

bool parse_int(std::string_view token, int &value) {
    std::string_view digits = without_plus(token);
    if (digits.empty() || digits[0] == '+')
        return false;
    const char *end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, value, 10);
    return ec == std::errc() && ptr == end;
}

// ---- checked output ----

// The first write failure since the output stream was opened.
static int pending_write_error = 0;

static void note_write_error() {
    if (pending_write_error == 0)
        pending_write_error = errno ? errno : EIO;
}

bool put_text(FILE *fp, std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), fp) != text.size()) {
        note_write_error();
        return false;
    }
    return true;
}

bool put_format(FILE *fp, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vfprintf(fp, format, args);
    va_end(args);
    if (n < 0) {
        note_write_error();
        return false;
    }
    return true;
}

int close_output(FILE *fp) {
    int err = pending_write_error;
    pending_write_error = 0;
    errno = 0;
    if (std::fflush(fp) != 0 && err == 0)
        err = errno ? errno : EIO;
    if (std::ferror(fp) && err == 0)
        err = EIO;
    errno = 0;
    if (std::fclose(fp) != 0 && err == 0)
        err = errno ? errno : EIO;
    return err;
}

int close_input(FILE *fp) {
    errno = 0;
    if (std::fclose(fp) != 0)
        return errno ? errno : EIO;
    return 0;
}

int copy_stream(FILE *from, FILE *to) {
    std::vector<char> buffer(block_size);
    for (;;) {
        size_t n = std::fread(buffer.data(), 1, buffer.size(), from);
        if (n > 0 && !put_text(to, std::string_view(buffer.data(), n)))
            return pending_write_error;
        if (n < buffer.size()) {
            if (std::ferror(from))
                return errno ? errno : EIO;
            return 0;
        }
    }
}

// ---- the site list ----

static const char *const site_field_names[10] = {
    "site name",    "latitude",           "longitude",        "sand",     "silt", "clay",
    "bulk density", "pass-through value", "layer-count code", "elevation"};

parse_status parse_site_line(std::string_view line, site_line &site, std::string &why) {
    std::string_view tokens[10];
    size_t pos = 0;
    int count = 0;
    while (count < 10) {
        std::string_view t = next_token(line, pos);
        if (t.empty())
            break;
        tokens[count++] = t;
    }
    if (count == 0)
        return parse_status::blank;
    if (count < 10) {
        why = std::to_string(count) + (count == 1 ? " field" : " fields") +
              " found, 10 needed (site name, latitude, longitude, sand, silt, clay, "
              "bulk density, pass-through value, layer-count code, elevation)";
        return parse_status::bad;
    }
    float *floats[10] = {nullptr,    &site.latitude, &site.longitude,    &site.sand,
                         &site.silt, &site.clay,     &site.bulk_density, &site.pass_through,
                         nullptr,    &site.elevation};
    for (int i = 1; i < 10; ++i) {
        bool ok =
            i == 8 ? parse_int(tokens[i], site.layer_code) : parse_float(tokens[i], *floats[i]);
        if (!ok) {
            why = "field " + std::to_string(i + 1) + " (" + site_field_names[i] + ") is not " +
                  (i == 8 ? "a whole number" : "a number") + ": \"" + std::string(tokens[i]) + "\"";
            return parse_status::bad;
        }
    }
    site.name.assign(tokens[0]);
    return parse_status::ok;
}

// ---- the rewrite cycle ----

static void say_failure(const char *what, const std::string &file, int err) {
    std::printf("Error %s %s: %s\n", what, file.c_str(), std::strerror(err));
}

// Removes the temporary copy once it is no longer needed.
static bool remove_temp_copy() {
    if (unlink(temp_file_name) != 0) {
        say_failure("deleting", temp_file_name, errno);
        return false;
    }
    return true;
}

bool copy_and_swap(const std::string &site_file) {
    int read_err = 0;
    int err = copy_stream(oldfp, newfp);
    if (err != 0 && std::ferror(oldfp))
        read_err = err;
    int in_err = close_input(oldfp);
    int out_err = close_output(newfp);
    oldfp = newfp = nullptr;
    if (read_err != 0 || in_err != 0) {
        say_failure("reading", site_file, read_err ? read_err : in_err);
        remove_temp_copy();
        return false;
    }
    if (err != 0 || out_err != 0) {
        say_failure("writing", temp_file_name, err ? err : out_err);
        remove_temp_copy();
        return false;
    }
    int flag = 0;
    oldfp = efopen(temp_file_name, "r", &flag);
    if (flag) {
        say_failure("reopening", temp_file_name, errno);
        remove_temp_copy();
        return false;
    }
    newfp = efopen(site_file.c_str(), "w", &flag);
    if (flag) {
        say_failure("opening for writing", site_file, errno);
        close_input(oldfp);
        oldfp = nullptr;
        remove_temp_copy();
        return false;
    }
    return true;
}

void restore_site_file(const std::string &site_file) {
    if (oldfp != nullptr)
        close_input(oldfp);
    if (newfp != nullptr)
        close_output(newfp);
    oldfp = newfp = nullptr;
    int flag = 0;
    int err = 0;
    FILE *from = efopen(temp_file_name, "r", &flag);
    if (flag) {
        err = errno;
    } else {
        FILE *to = efopen(site_file.c_str(), "w", &flag);
        if (flag) {
            err = errno;
        } else {
            err = copy_stream(from, to);
            int close_err = close_output(to);
            if (err == 0)
                err = close_err;
        }
        close_input(from);
    }
    if (err != 0) {
        std::printf("Error restoring %s: %s\n", site_file.c_str(), std::strerror(err));
        std::printf("%s holds the content %s had before this step: copy it back to %s, "
                    "then remove %s before running again.\n",
                    temp_file_name, site_file.c_str(), site_file.c_str(), temp_file_name);
        return;
    }
    std::printf("%s was restored to its content before this step.\n", site_file.c_str());
    remove_temp_copy();
}

bool finish_rewrite(const std::string &site_file) {
    int read_err = std::ferror(oldfp) ? EIO : 0;
    int write_err = close_output(newfp);
    newfp = nullptr;
    if (read_err != 0) {
        say_failure("reading", temp_file_name, read_err);
        restore_site_file(site_file);
        return false;
    }
    if (write_err != 0) {
        say_failure("writing", site_file, write_err);
        restore_site_file(site_file);
        return false;
    }
    int in_err = close_input(oldfp);
    oldfp = nullptr;
    if (in_err != 0) {
        say_failure("closing", temp_file_name, in_err);
        return false;
    }
    return remove_temp_copy();
}
