// Opening, line reading, checked writing and the in-place rewrite cycle of
// a site parameter file.
#include "utils.h"
#include "guard.h"
#include "rewrite.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {
std::string scratch_dir, scratch_soil_file, scratch_temp_file;
} // namespace

const char *soil_file_name = "soils.in";
const char *temp_file_name = "XXXX.sfp";

void set_scratch_dir(const std::string &dir) {
    scratch_dir = dir;
    scratch_soil_file = dir + "/soils.in";
    scratch_temp_file = dir + "/XXXX.sfp";
    soil_file_name = scratch_soil_file.c_str();
    temp_file_name = scratch_temp_file.c_str();
}

std::string site_soil_file(const std::string &site_name) {
    return site_name + ".soils.in";
}

std::string where_fixed_files_are(const std::string &message) {
    static const std::string working = "in the working directory";
    const size_t at = message.find(working);
    if (scratch_dir.empty() || at == std::string::npos)
        return message;
    std::string moved = message;
    moved.replace(at, working.size(), "in the scratch directory " + shown_name(scratch_dir));
    // The copy's name in the rest of the message is its path there.
    for (size_t p = moved.find("XXXX.sfp", at + 1); p != std::string::npos;
         p = moved.find("XXXX.sfp", p + 1)) {
        if (p >= 1 && moved[p - 1] == '/')
            continue;
        moved.replace(p, 8, temp_file_name);
        p += std::strlen(temp_file_name) - 1;
    }
    return moved;
}

std::string temp_copy_refusal(bool taken_by_batch) {
    struct stat st;
    // A site file named like the copy is a collision the guard names, never
    // a leftover copy that the user would be told to remove.
    if ((lstat(temp_file_name, &st) != 0 && errno == ENOENT) || taken_by_batch)
        return std::string();
    return where_fixed_files_are(temp_left_over_message);
}

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

int open_regular(const std::string &path, std::string &why, int *write_errno, struct stat *status) {
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
    if (fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        close(fd);
        return -1;
    }
    if (status != nullptr)
        *status = st;
    return fd; // O_NONBLOCK changes nothing for a regular file
}

int open_weather_fd(const std::string &path, std::string &why, file_id &id) {
    struct stat st;
    const int fd = open_regular(path, why, nullptr, &st);
    if (fd >= 0)
        id = id_of_status(st);
    return fd;
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

line_reader::line_reader(FILE *stream, size_t max_line)
    : fp(stream), max_line(max_line), block(io_block_size + line_padding) {}

line_reader::line_reader(int descriptor, size_t max_line)
    : fp(nullptr), fd(descriptor), max_line(max_line), block(io_block_size + line_padding) {}

// A block of a regular file's descriptor. A regular file reads short only
// at its end, so a short read ends the file without a read of nothing.
static void fill_block_of_fd(line_reader &r) {
    r.pos = 0;
    r.end = 0;
    for (;;) {
        const ssize_t n = read(r.fd, r.block.data() + r.end, io_block_size - r.end);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            r.error = errno;
        else
            r.end += static_cast<size_t>(n);
        r.at_eof = n <= 0 || r.end < io_block_size;
        return;
    }
}

static void fill_block(line_reader &r) {
    if (r.fp == nullptr) {
        fill_block_of_fd(r);
        return;
    }
    r.pos = 0;
    r.end = std::fread(r.block.data(), 1, io_block_size, r.fp);
    if (r.end < io_block_size) {
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

// The first write failure of each output stream open on this thread, until
// the stream is closed: a few streams are open for writing at a time.
namespace {
struct write_error {
    FILE *fp = nullptr;
    int err = 0;
};
thread_local write_error write_errors[8];
} // namespace

static void note_write_error(FILE *fp) {
    const int err = errno ? errno : EIO;
    write_error *free_slot = nullptr;
    for (write_error &w : write_errors) {
        if (w.fp == fp)
            return; // the first is kept
        if (w.fp == nullptr && free_slot == nullptr)
            free_slot = &w;
    }
    if (free_slot != nullptr)
        *free_slot = {fp, err};
}

int take_write_error(FILE *fp) {
    for (write_error &w : write_errors)
        if (w.fp == fp) {
            const int err = w.err;
            w = write_error();
            return err;
        }
    return 0;
}

bool put_text(FILE *fp, std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), fp) != text.size()) {
        note_write_error(fp);
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
        note_write_error(fp);
        return false;
    }
    return true;
}

// Flushes, syncs when sync is set, and closes; 0 or the errno of the first
// failure.
int close_output(FILE *fp, bool sync) {
    int err = take_write_error(fp);
    errno = 0;
    if (std::fflush(fp) != 0 && err == 0)
        err = errno ? errno : EIO;
    if (sync && err == 0 && fsync(fileno(fp)) != 0)
        err = errno;
    if (std::ferror(fp) && err == 0)
        err = EIO;
    errno = 0;
    if (std::fclose(fp) != 0 && err == 0)
        err = errno ? errno : EIO;
    return err;
}

int open_for_overwrite(const std::string &path, bool create) {
    if (path.find('\0') != std::string::npos) {
        errno = EINVAL;
        return -1;
    }
    const int flags = O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0);
    int fd = open(path.c_str(), flags | O_NOFOLLOW, 0666);
    // A link is followed only where the kernel's protected_symlinks would.
    if (fd < 0 && errno == ELOOP) {
        if (!planted_link(path).empty()) {
            errno = EPERM;
            return -1;
        }
        fd = open(path.c_str(), flags, 0666);
    }
    return fd;
}

int write_over_fd(int fd, std::string_view text, bool sync, size_t known_size) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n =
            pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    // The old content past the new end goes only now.
    if (known_size > text.size() && ftruncate(fd, static_cast<off_t>(text.size())) != 0)
        return errno;
    return sync && fsync(fd) != 0 ? errno : 0;
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
    // /dev/stdout or /dev/stderr: the messages so far come first.
    std::fflush(stdout);
    std::fflush(stderr);
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

// How a file is written whole: synced or not; keeping the mode of the file
// it replaces; with interrupts deferred only around the rename.
struct whole_write {
    bool sync = false, keep_mode = false, interruptible = false;
};

// Makes the temporary file; for an interruptible write, named for an
// interrupt to remove (made while interrupts wait, so that none comes
// between). The descriptor, or -1 with errno set.
static int make_temp(std::string &temp, const whole_write &way) {
    if (!way.interruptible)
        return mkostemp(temp.data(), O_CLOEXEC);
    defer_interrupts(true);
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    const int err = errno;
    if (fd >= 0)
        remove_on_interrupt(temp.c_str());
    defer_interrupts(false);
    errno = err;
    return fd;
}

// The mode of the file written: mkstemp makes it private, so the usual
// permissions, or those of the file it replaces.
static mode_t mode_of_new(const std::string &path, const whole_write &way) {
    const mode_t mask = umask(0);
    umask(mask);
    struct stat st;
    if (way.keep_mode && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 0777;
    return 0666 & ~mask;
}

// Creates the temporary file, writes it and renames it into place; 0 or
// the errno of the failure (the temporary file is gone then).
static int write_renamed(const std::string &path, const std::string &temp_prefix,
                         const std::function<int(FILE *)> &write, const whole_write &way) {
    std::string temp = temp_prefix + "XXXXXX";
    const int fd = make_temp(temp, way);
    if (fd < 0)
        return errno;
    int err = 0;
    FILE *fp = fdopen(fd, "w");
    if (fp == nullptr) {
        err = errno;
        close(fd);
    } else {
        fchmod(fd, mode_of_new(path, way));
        err = write(fp);
        const int close_err = close_output(fp, way.sync);
        if (err == 0)
            err = close_err;
    }
    if (way.interruptible) {
        defer_interrupts(true); // the rename is never cut
        remove_on_interrupt(nullptr);
    }
    if (err == 0 && rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0)
        unlink(temp.c_str());
    if (way.interruptible)
        defer_interrupts(false);
    return err;
}

std::string dir_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string link_target(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        if (char *real = realpath(path.c_str(), nullptr); real != nullptr) {
            std::string resolved = real;
            std::free(real);
            return resolved;
        }
        char to[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), to, sizeof to - 1);
        if (n <= 0)
            return path; // not a link: a file to create
        const std::string next(to, static_cast<size_t>(n));
        path = next[0] == '/' ? next : dir_of(path) + "/" + next;
    }
    return path;
}

// The standard descriptor (1 or 2) that writes to a file, or -1.
static int standard_output_of(const struct stat &st) {
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat out;
        if (fstat(fd, &out) == 0 && out.st_dev == st.st_dev && out.st_ino == st.st_ino)
            return fd;
    }
    return -1;
}

// Writes after what the messages have put there so far, through the
// descriptor itself, so that neither overwrites the other.
static int write_to_standard(int standard, const std::function<int(FILE *)> &write) {
    std::fflush(standard == STDOUT_FILENO ? stdout : stderr);
    const int fd = dup(standard);
    FILE *fp = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (fp == nullptr) {
        const int err = errno;
        if (fd >= 0)
            close(fd);
        return err;
    }
    const int err = write(fp);
    const int close_err = close_output(fp, false);
    return err != 0 ? err : close_err;
}

static int write_whole(const std::string &path, const std::string &temp_prefix,
                       const std::function<int(FILE *)> &write, const whole_write &way) {
    if (path.find('\0') != std::string::npos)
        return EINVAL;
    if (is_special_target(path))
        return write_directly(path, write);
    // A link is kept: the file it leads to is put in place, beside itself
    // (/dev/stdout, a link into /proc, is never renamed over); the file
    // that standard output goes to, named or through a link, is written
    // to, since a rename would leave the messages in a file no longer named.
    std::string target = path, prefix = temp_prefix;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        const bool link = S_ISLNK(st.st_mode);
        if (link && !planted_link(path).empty())
            return EPERM;
        if (const int standard = stat(path.c_str(), &st) == 0 ? standard_output_of(st) : -1;
            standard >= 0)
            return write_to_standard(standard, write);
        if (link) {
            target = link_target(path);
            prefix = target + ".";
        }
    }
    if (way.interruptible)
        return write_renamed(target, prefix, write, way);
    // An interrupt waits until the temporary file is renamed or removed.
    defer_interrupts(true);
    const int err = write_renamed(target, prefix, write, way);
    defer_interrupts(false);
    return err;
}

int write_file_whole(const std::string &path, const std::string &temp_prefix,
                     const std::function<int(FILE *)> &write, bool sync) {
    return write_whole(path, temp_prefix, write, {sync, false, false});
}

int write_file_replacing(const std::string &path, const std::string &temp_prefix,
                         const std::function<int(FILE *)> &write) {
    return write_whole(path, temp_prefix, write, {false, true, true});
}

std::string renamed_into_place(const std::string &path) {
    if (path.find('\0') != std::string::npos || is_special_target(path))
        return std::string();
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return path;
    const bool link = S_ISLNK(st.st_mode);
    if ((link && !planted_link(path).empty()) ||
        (stat(path.c_str(), &st) == 0 && standard_output_of(st) >= 0))
        return std::string();
    return link ? link_target(path) : path;
}

int write_through_temp(const std::string &path, const std::string &temp_prefix,
                       std::string_view text, bool sync) {
    return write_file_whole(
        path, temp_prefix, [text](FILE *fp) { return put_text(fp, text), 0; }, sync);
}

FILE *open_unnamed_beside(const std::string &path, int &err) {
    const std::string dir = dir_of(path);
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

int close_input(FILE *fp) {
    errno = 0;
    if (std::fclose(fp) != 0)
        return errno ? errno : EIO;
    return 0;
}

int copy_stream(FILE *from, FILE *to) {
    std::vector<char> buffer(io_block_size);
    for (;;) {
        size_t n = std::fread(buffer.data(), 1, buffer.size(), from);
        if (n > 0 && !put_text(to, std::string_view(buffer.data(), n)))
            return 0; // the write error is the stream's, for its close
        if (n < buffer.size()) {
            if (std::ferror(from))
                return errno ? errno : EIO;
            return 0;
        }
    }
}

int finish_stdout(const char *program, int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "%s: error writing standard output: %s\n", program,
                     std::strerror(errno));
        return 1;
    }
    return status;
}

int say_out_of_memory() {
    std::printf("Error: %s; siteprep stopped.\n", std::strerror(ENOMEM));
    std::fprintf(stderr, "siteprep: out of memory; it stopped\n");
    return 1;
}
