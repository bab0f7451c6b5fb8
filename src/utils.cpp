// Opening, line reading, checked writing and the in-place rewrite cycle of
// a site parameter file.
#include "guard.h"
#include "siteprep.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

FILE *oldfp = nullptr;
FILE *newfp = nullptr;
bool sync_rewrites = false;

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

FILE *efopen(const std::string &path, const char *mode, int *flag) {
    // The system would cut the name at the NUL and open another file.
    if (path.find('\0') != std::string::npos) {
        *flag = 1;
        errno = EINVAL;
        return nullptr;
    }
    return efopen(path.c_str(), mode, flag);
}

int open_regular(const std::string &path, std::string &why, int *write_errno) {
    if (path.find('\0') != std::string::npos) {
        why = std::strerror(EINVAL);
        return -1;
    }
    // Non-blocking, so that opening a pipe does not wait for a writer.
    const int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = -1;
    if (write_errno != nullptr) {
        fd = open(path.c_str(), O_RDWR | flags);
        *write_errno = fd < 0 ? errno : 0;
        if (fd < 0 && errno != EACCES && errno != EROFS && errno != ETXTBSY && errno != EPERM) {
            why = std::strerror(errno);
            return -1;
        }
    }
    if (fd < 0)
        fd = open(path.c_str(), O_RDONLY | flags);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        close(fd);
        return -1;
    }
    return fd; // O_NONBLOCK changes nothing for a regular file
}

FILE *open_weather_file(const std::string &path, int site_fd, std::string &why) {
    const int fd = open_regular(path, why);
    if (fd < 0)
        return nullptr;
    // Read after the site file is emptied, it would read nothing.
    struct stat weather_st, site_st;
    if (site_fd >= 0 && fstat(fd, &weather_st) == 0 && fstat(site_fd, &site_st) == 0 &&
        weather_st.st_dev == site_st.st_dev && weather_st.st_ino == site_st.st_ino) {
        why = "the same file as the site parameter file";
        close(fd);
        return nullptr;
    }
    FILE *fp = fdopen(fd, "r");
    if (fp == nullptr) {
        why = std::strerror(errno);
        close(fd);
        return nullptr;
    }
    // The line reader reads in large blocks of its own: straight into them.
    setvbuf(fp, nullptr, _IONBF, 0);
    return fp;
}

// ---- line reading ----

static constexpr size_t block_size = 1 << 16;

line_reader::line_reader(FILE *stream, size_t max_line)
    : fp(stream), max_line(max_line), block(block_size + line_padding) {}

static void fill_block(line_reader &r) {
    r.pos = 0;
    r.end = std::fread(r.block.data(), 1, block_size, r.fp);
    if (r.end < block_size) {
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
                if ((carrying ? r.carry.size() : 0) + n - 1 > r.max_line) {
                    r.too_long = true; // the limit leaves out the line end
                    r.at_eof = true;
                    r.pos = r.end;
                    return false;
                }
                r.pos += n;
                r.padded = !carrying;
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
            if (r.carry.size() + left > r.max_line) {
                r.too_long = true;
                r.at_eof = true;
                r.pos = r.end;
                return false;
            }
            r.carry.append(start, left);
            r.pos = r.end;
        }
        if (r.at_eof)
            break;
        fill_block(r);
    }
    if (carrying && r.error == 0) {
        r.padded = false;
        line = r.carry;
        return true;
    }
    return false;
}

std::string too_long_reason(size_t max_line) {
    return "line longer than " + std::to_string(max_line) + " bytes";
}

std::string quote_token(std::string_view token) {
    constexpr size_t shown = 40;
    std::string text = "\"";
    for (size_t i = 0; i < token.size() && i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(token[i]);
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    text += token.size() > shown ? "\"..." : "\"";
    return text;
}

// The length of the UTF-8 sequence at text[i] when it is a printable
// character (not a C1 control), else 0.
static size_t printable_utf8(std::string_view text, size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
    if (n == 0 || c > 0xf4 || i + n > text.size())
        return 0;
    uint32_t code = c & (0x7f >> n);
    for (size_t k = 1; k < n; ++k) {
        const unsigned char d = static_cast<unsigned char>(text[i + k]);
        if ((d & 0xc0) != 0x80)
            return 0;
        code = code << 6 | (d & 0x3f);
    }
    const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[n] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff) ||
        (code >= 0x80 && code <= 0x9f))
        return 0;
    return n;
}

std::string shown_name(std::string_view name) {
    std::string text;
    text.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x20 && c < 0x7f) {
            text += static_cast<char>(c);
            ++i;
        } else if (const size_t n = c >= 0x80 ? printable_utf8(name, i) : 0; n > 0) {
            text.append(name.substr(i, n));
            i += n;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
            ++i;
        }
    }
    return text;
}

std::string counted(long count, const char *thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// The first error reported since the last take_first_report.
static std::string first_report;

void report(const std::string &text) {
    std::printf("%s\n", text.c_str());
    if (first_report.empty()) {
        first_report = text;
        std::replace(first_report.begin(), first_report.end(), '\n', ' ');
    }
}

std::string take_first_report() {
    return std::exchange(first_report, std::string());
}

std::string format_message(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
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

// The write failure noted since the last call, now forgotten.
static int take_write_error() {
    const int err = pending_write_error;
    pending_write_error = 0;
    return err;
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

// Flushes, cuts the file to what was written when cut is set, syncs when
// sync is set, and closes; 0 or the errno of the first failure.
static int finish_output(FILE *fp, bool cut, bool sync) {
    int err = take_write_error();
    errno = 0;
    if (std::fflush(fp) != 0 && err == 0)
        err = errno ? errno : EIO;
    if (cut && err == 0) {
        // The old content past the new end goes only now.
        const off_t length = ftello(fp);
        if (length < 0 || ftruncate(fileno(fp), length) != 0)
            err = errno ? errno : EIO;
    }
    if (sync && err == 0 && fsync(fileno(fp)) != 0)
        err = errno;
    if (std::ferror(fp) && err == 0)
        err = EIO;
    errno = 0;
    if (std::fclose(fp) != 0 && err == 0)
        err = errno ? errno : EIO;
    return err;
}

FILE *open_for_overwrite(const std::string &path, bool create, int *flag) {
    *flag = 1;
    if (path.find('\0') != std::string::npos) {
        errno = EINVAL;
        return nullptr;
    }
    const int flags = O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0);
    int fd = open(path.c_str(), flags | O_NOFOLLOW, 0666);
    // A link is followed only where the kernel's protected_symlinks would.
    if (fd < 0 && errno == ELOOP) {
        if (!planted_link(path).empty()) {
            errno = EPERM;
            return nullptr;
        }
        fd = open(path.c_str(), flags, 0666);
    }
    if (fd < 0)
        return nullptr;
    FILE *fp = fdopen(fd, "w");
    if (fp == nullptr) {
        const int err = errno;
        close(fd);
        errno = err;
        return nullptr;
    }
    *flag = 0;
    return fp;
}

int close_output(FILE *fp, bool sync) {
    return finish_output(fp, false, sync);
}

int close_overwritten(FILE *fp, bool sync) {
    return finish_output(fp, true, sync);
}

// A target that is there and is not a regular file (a device such as
// /dev/null or /dev/stdout, a pipe) is written to, never renamed over.
static bool is_special_target(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

static int write_directly(const std::string &path, const std::function<int(FILE *)> &write) {
    if (std::string why = planted_link(path); !why.empty())
        return EPERM;
    // Not blocking on a pipe without a reader: that is an error (ENXIO).
    const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE *fp = fdopen(fd, "w");
    if (fp == nullptr) {
        const int err = errno;
        close(fd);
        return err;
    }
    const int err = write(fp);
    const int close_err = close_output(fp, false);
    return err != 0 ? err : close_err;
}

// Creates the temporary file, writes it and renames it into place; 0 or
// the errno of the failure (the temporary file is gone then).
static int write_renamed(const std::string &path, const std::string &temp_prefix,
                         const std::function<int(FILE *)> &write, bool sync) {
    std::string temp = temp_prefix + "XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    int err = 0;
    FILE *fp = fdopen(fd, "w");
    if (fp == nullptr) {
        err = errno;
        close(fd);
    } else {
        // mkstemp makes the file private; give it the usual permissions.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        err = write(fp);
        const int close_err = close_output(fp, sync);
        if (err == 0)
            err = close_err;
    }
    if (err == 0 && rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0)
        unlink(temp.c_str());
    return err;
}

int write_file_whole(const std::string &path, const std::string &temp_prefix,
                     const std::function<int(FILE *)> &write, bool sync) {
    if (path.find('\0') != std::string::npos)
        return EINVAL;
    if (is_special_target(path))
        return write_directly(path, write);
    // An interrupt waits until the temporary file is renamed or removed.
    defer_interrupts(true);
    const int err = write_renamed(path, temp_prefix, write, sync);
    defer_interrupts(false);
    return err;
}

int write_through_temp(const std::string &path, const std::string &temp_prefix,
                       std::string_view text, bool sync) {
    return write_file_whole(
        path, temp_prefix, [text](FILE *fp) { return put_text(fp, text), 0; }, sync);
}

FILE *open_unnamed_beside(const std::string &path, int &err) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
    int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && errno != ENOENT && errno != ENOTDIR && errno != EACCES && errno != EROFS) {
        // A file system without unnamed files: a named one, removed at once.
        std::string temp = dir + "/.siteprep-XXXXXX";
        fd = mkostemp(temp.data(), O_CLOEXEC);
        if (fd >= 0)
            unlink(temp.c_str());
    }
    FILE *fp = fd >= 0 ? fdopen(fd, "w+") : nullptr;
    err = fp != nullptr ? 0 : errno;
    if (fp == nullptr && fd >= 0)
        close(fd);
    return fp;
}

void defer_interrupts(bool defer) {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        sigaddset(&set, sig);
    if (!defer) {
        sigset_t pending;
        sigpending(&pending);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
            if (sigismember(&pending, sig))
                std::fflush(stdout); // the messages so far, before the signal ends the run
    }
    sigprocmask(defer ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
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

// ---- the rewrite cycle ----

static void say_failure(const char *what, const std::string &file, int err) {
    report(format_message("Error %s %s: %s", what, shown_name(file).c_str(), std::strerror(err)));
}

bool create_temp_copy(rewrite &rw) {
    struct stat st;
    if (fstat(rw.site_fd, &st) != 0)
        return false;
    // Never readable by more users than the site file; never through a link.
    const int fd =
        open(temp_file_name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0777);
    if (fd < 0)
        return false;
    rw.copy = fdopen(fd, "w+");
    // A buffer of our own spares the library a stat of the file for its size.
    static char copy_buffer[block_size];
    if (rw.copy != nullptr)
        setvbuf(rw.copy, copy_buffer, _IOFBF, sizeof copy_buffer);
    if (rw.copy == nullptr) {
        const int err = errno;
        unlink(temp_file_name);
        close(fd);
        errno = err;
        return false;
    }
    return true;
}

// Removes the temporary copy once it is no longer needed, unless its name
// has come to stand for another file, which is not ours to delete.
static bool remove_temp_copy(rewrite &rw) {
    bool ok = true;
    struct stat named, ours;
    if (lstat(temp_file_name, &named) != 0) {
        say_failure("deleting", temp_file_name, errno);
        ok = false;
    } else if (fstat(fileno(rw.copy), &ours) != 0 || named.st_dev != ours.st_dev ||
               named.st_ino != ours.st_ino) {
        report(format_message("Error deleting %s: it was replaced by another file, left as it is",
                              temp_file_name));
        ok = false;
    } else if (unlink(temp_file_name) != 0) {
        say_failure("deleting", temp_file_name, errno);
        ok = false;
    }
    std::fclose(rw.copy);
    rw.copy = nullptr;
    return ok;
}

// Copies the site file into the copy, a block at a time, and makes sure no
// line of it is longer than a site file line may be. 0, or the errno of a
// failure; line_number > 0 names an over-long line, write_err is the errno
// of a failed write.
static int copy_site_file(rewrite &rw, long &line_number, int &write_err) {
    std::vector<char> buffer(block_size);
    off_t offset = 0;
    size_t line_length = 0;
    long lines = 1;
    for (;;) {
        const ssize_t n = pread(rw.site_fd, buffer.data(), buffer.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        offset += n;
        for (const char *p = buffer.data(), *end = p + n; p < end;) {
            const char *nl = static_cast<const char *>(std::memchr(p, '\n', end - p));
            line_length += static_cast<size_t>((nl ? nl : end) - p);
            if (line_length > max_text_line) {
                line_number = lines;
                return EFBIG;
            }
            if (nl == nullptr)
                break;
            line_length = 0;
            ++lines;
            p = nl + 1;
        }
        if (!put_text(rw.copy, std::string_view(buffer.data(), static_cast<size_t>(n)))) {
            write_err = take_write_error();
            return 0;
        }
    }
}

// A stream writing the site file over from its start, through its open
// descriptor: the name is not opened again.
static FILE *site_file_writer(rewrite &rw) {
    if (rw.write_errno != 0) {
        errno = rw.write_errno;
        return nullptr;
    }
    const int fd = dup(rw.site_fd);
    if (fd < 0)
        return nullptr;
    FILE *fp = lseek(fd, 0, SEEK_SET) == 0 ? fdopen(fd, "w") : nullptr;
    static char site_buffer[block_size];
    if (fp != nullptr)
        setvbuf(fp, site_buffer, _IOFBF, sizeof site_buffer);
    if (fp == nullptr) {
        const int err = errno;
        close(fd);
        errno = err;
    }
    return fp;
}

bool copy_and_swap(rewrite &rw) {
    long long_line = 0;
    int write_err = 0;
    const int err = copy_site_file(rw, long_line, write_err);
    if (long_line > 0) {
        report(format_message(site_file_line_message, shown_name(rw.site_file).c_str(), long_line,
                              too_long_reason(max_text_line).c_str()));
        remove_temp_copy(rw);
        return false;
    }
    if (err != 0) {
        say_failure("reading", rw.site_file, err);
        remove_temp_copy(rw);
        return false;
    }
    // The copy must be whole, and with --sync on the disk, before the site
    // file is emptied.
    errno = 0;
    if (write_err == 0 && std::fflush(rw.copy) != 0)
        write_err = errno ? errno : EIO;
    if (write_err == 0 && sync_rewrites && fsync(fileno(rw.copy)) != 0)
        write_err = errno;
    if (write_err != 0) {
        say_failure("writing", temp_file_name, write_err);
        remove_temp_copy(rw);
        return false;
    }
    std::rewind(rw.copy);
    newfp = site_file_writer(rw);
    if (newfp == nullptr) {
        say_failure("opening for writing", rw.site_file, errno);
        remove_temp_copy(rw);
        return false;
    }
    oldfp = rw.copy;
    return true;
}

void restore_site_file(rewrite &rw) {
    if (newfp != nullptr)
        close_overwritten(newfp, false);
    oldfp = newfp = nullptr;
    int err = 0;
    std::clearerr(rw.copy);
    std::rewind(rw.copy);
    FILE *to = site_file_writer(rw);
    if (to == nullptr) {
        err = errno;
    } else {
        err = copy_stream(rw.copy, to);
        const int close_err = close_overwritten(to, sync_rewrites);
        if (err == 0)
            err = close_err;
    }
    if (err != 0) {
        const std::string shown = shown_name(rw.site_file);
        report(format_message("Error restoring %s: %s", shown.c_str(), std::strerror(err)));
        std::printf("%s holds the content %s had before this step: copy it back to %s, "
                    "then remove %s before running again.\n",
                    temp_file_name, shown.c_str(), shown.c_str(), temp_file_name);
        std::fclose(rw.copy);
        rw.copy = nullptr;
        return;
    }
    std::printf("%s was restored to its content before this step.\n",
                shown_name(rw.site_file).c_str());
    remove_temp_copy(rw);
}

bool finish_rewrite(rewrite &rw) {
    const int read_err = std::ferror(oldfp) ? EIO : 0;
    const int write_err = close_overwritten(newfp, sync_rewrites);
    newfp = nullptr;
    oldfp = nullptr;
    if (read_err != 0) {
        say_failure("reading", temp_file_name, read_err);
        restore_site_file(rw);
        return false;
    }
    if (write_err != 0) {
        say_failure("writing", rw.site_file, write_err);
        restore_site_file(rw);
        return false;
    }
    return remove_temp_copy(rw);
}

void lock_site_file(int fd, const std::string &path) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
        return; // locked, or a file system without locks
    std::printf("Waiting for %s: another run is rewriting it.\n", shown_name(path).c_str());
    std::fflush(stdout);
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}
