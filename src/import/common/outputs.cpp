// What the importer's commands do with their outputs.
#include "outputs.h"

#include "file_paths.h"
#include "open.h"
#include "overwrite.h"
#include "process.h"
#include "reporter.h"
#include "shown.h"
#include "signals.h"
#include "site_files.h"
#include "tokens.h"
#include "write_whole.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <unordered_map>

namespace import {

std::string first_field(std::string_view row) {
    if (row.empty() || row[0] != '"')
        return std::string(row.substr(0, row.find(',')));
    std::string field;
    for (size_t i = 1; i < row.size(); ++i) {
        if (row[i] != '"')
            field += row[i];
        else if (i + 1 < row.size() && row[i + 1] == '"')
            field += row[++i];
        else
            break;
    }
    return field;
}

bool merge_named_rows(std::string_view table, const std::string &header,
                      const std::vector<named_row> &rows, std::string &text) {
    text = header;
    std::vector<bool> placed(rows.size(), false);
    for (size_t at = 0, line = 0; at < table.size(); ++line) {
        const size_t end = std::min(table.find('\n', at), table.size() - 1) + 1;
        const std::string_view row = table.substr(at, end - at);
        at = end;
        std::string_view bare = row.substr(0, row.find_last_not_of("\r\n") + 1);
        if (line == 0) {
            if (bare != std::string_view(header).substr(0, header.find_last_not_of("\r\n") + 1))
                return false;
            continue;
        }
        const std::string name = first_field(bare);
        const auto same = [&name](const named_row &r) { return r.first == name; };
        const size_t k =
            static_cast<size_t>(std::find_if(rows.begin(), rows.end(), same) - rows.begin());
        if (k == rows.size()) {
            text += std::string(row) + (row.back() == '\n' ? "" : "\r\n");
        } else if (!placed[k]) {
            text += rows[k].second;
            placed[k] = true;
        }
    }
    for (size_t k = 0; k < rows.size(); ++k)
        if (!placed[k])
            text += rows[k].second;
    return true;
}

os::result<std::string> read_table_file(const std::string &path) {
    os::result<os::regular_file> opened = os::open_regular(path);
    if (!opened) {
        const os::result<struct stat> st = os::status_of(path);
        if (st ? !S_ISREG(st.value().st_mode) : st.err() == ENOENT)
            return std::string();
        return opened.error();
    }
    return os::read_rest(opened.value().file);
}

failure write_text_replacing(const std::string &path, const std::string &text) {
    const os::result<void> written = os::write_file_replacing(
        path, path + ".", [&text](os::out_stream &out) { return out.put(text), 0; });
    if (!written)
        return {"Error writing " + shown_name(path) + ": " + written.error().reason()};
    return {};
}

failure write_texts_together(const std::vector<os::file_text> &files) {
    const os::result<void> written = os::write_files_together(files);
    if (written)
        return {};
    std::string names;
    for (size_t i = 0; i < files.size(); ++i)
        names += (i == 0 ? "" : i + 1 == files.size() ? " and " : ", ") + shown_name(files[i].path);
    return {"Error writing " + shown_name(written.error().path) + ": " + written.error().reason() +
            "; " + names + (files.size() > 1 ? " are left as they were" : " is left as it was")};
}

namespace {

// A table as its file holds it now.
failure read_table(const std::string &path, std::string &text) {
    os::result<std::string> table = read_table_file(path);
    if (!table)
        return {"Error reading " + shown_name(path) + ": " + table.error().reason()};
    text = std::move(*table);
    return {};
}

// Checks, before any import, that the file at path is none or a table
// that is_table takes, and that its directory takes a new one: a table
// that cannot be written would fail only after every input.
failure check_table(const std::string &path, const std::function<bool(std::string_view)> &is_table,
                    const char *kind, const char *option) {
    if (const os::result<void> room = os::may_create_in(os::dir_of(path)); !room)
        return {"Error writing " + shown_name(path) + ": " + room.error().reason()};
    std::string table;
    if (failure f = read_table(path, table); f.failed())
        return f;
    if (!is_table(table))
        return {shown_name(path) + " is not a " + kind + " (its first line is not the " +
                "table's header): it is left as it is; give another " + option + " file"};
    return {};
}

// The table at path merged again, as the import ends, and written whole.
failure rewrite_table(const std::string &path,
                      const std::function<bool(std::string_view, std::string &)> &merge,
                      const char *kind) {
    std::string table, text;
    if (failure f = read_table(path, table); f.failed())
        return f;
    if (!merge(table, text))
        return {shown_name(path) + " changed while importing: it is no longer a " + kind};
    return write_text_replacing(path, text);
}

} // namespace

failure check_named_table(const std::string &path, const std::string &header, const char *kind,
                          const char *option) {
    std::string text;
    return check_table(
        path, [&](std::string_view table) { return merge_named_rows(table, header, {}, text); },
        kind, option);
}

failure write_named_table(const std::string &path, const std::string &header,
                          const std::vector<named_row> &rows, const char *kind) {
    return rewrite_table(
        path,
        [&](std::string_view table, std::string &text) {
            return merge_named_rows(table, header, rows, text);
        },
        kind);
}

failure check_stations(const std::string &path) {
    // With or without the grid cells' distance column.
    std::string text;
    return check_table(
        path, [&](std::string_view table) { return merge_stations(table, {}, text); },
        "stations table", "--stations");
}

failure update_stations(const std::string &path, const std::vector<station_row> &rows) {
    if (rows.empty())
        return {}; // nothing imported: the table stays as it is
    return rewrite_table(
        path,
        [&](std::string_view table, std::string &text) {
            return merge_stations(table, rows, text);
        },
        "stations table");
}

// A table as an interrupt would write it. The rows of the table found stay
// where they are in base, each kept, dropped (a row of a name imported now
// that another takes the place of, or that goes) or shown as a row imported
// in its place; the other rows imported follow, one after another in
// appended.
struct table_for_interrupt {
    static constexpr size_t kept = SIZE_MAX, dropped = SIZE_MAX - 1;
    std::string base;          // the header and the rows found, each with its line end
    std::vector<size_t> start; // where each row starts in base, then base's end
    std::vector<size_t> shown; // each row found: kept, dropped, or a row of replacing
    std::unordered_map<std::string, std::vector<size_t>> rows_named;
    std::string replacing, appended;
    std::vector<size_t> replacing_start{0};
    std::string temp, target; // the handler's temporary name, and the file
    int mode = -1;            // the table's, kept
    // No row yet, or one that could not be kept: the file is left as it was.
    bool noted = false, lost = false;
};

namespace {

std::vector<std::unique_ptr<table_for_interrupt>> kept_tables;
table_for_interrupt *kept_stations = nullptr;
bool with_distance = false; // the kept stations table's rows have the grid's columns

// A table as it stands, written to fd: only async-signal-safe calls.
bool put_kept_table(const table_for_interrupt &t, int fd) {
    const auto put = [fd](const std::string &text, size_t from, size_t to) {
        return from == to || os::write_all(fd, std::string_view(text).substr(from, to - from)) == 0;
    };
    size_t run = 0; // where the rows kept as they are, not yet written, start
    for (size_t i = 0; i < t.shown.size(); ++i) {
        if (t.shown[i] == t.kept)
            continue;
        if (!put(t.base, run, t.start[i]))
            return false;
        run = t.start[i + 1];
        if (const size_t k = t.shown[i];
            k != t.dropped && !put(t.replacing, t.replacing_start[k], t.replacing_start[k + 1]))
            return false;
    }
    return put(t.base, run, t.base.size()) && put(t.appended, 0, t.appended.size());
}

// The table the handler writes now; the handler takes no argument.
const table_for_interrupt *writing = nullptr;

void write_kept_tables() {
    for (const std::unique_ptr<table_for_interrupt> &t : kept_tables) {
        if (!t->noted || t->lost)
            continue;
        writing = t.get();
        os::write_file_in_handler(
            t->temp.c_str(), t->target.c_str(), false,
            [](int fd) { return put_kept_table(*writing, fd); }, t->mode);
    }
}

// Where base's rows start, and each name's rows.
void index_rows(table_for_interrupt &t) {
    for (size_t at = t.base.find('\n') + 1; at < t.base.size(); at = t.base.find('\n', at) + 1) {
        const std::string_view row(t.base.data() + at, t.base.find('\n', at) - at);
        t.rows_named[first_field(row.substr(0, row.find_last_not_of('\r') + 1))].push_back(
            t.start.size());
        t.start.push_back(at);
    }
    t.start.push_back(t.base.size());
    t.shown.assign(t.start.size() - 1, t.kept);
}

} // namespace

table_for_interrupt *keep_for_interrupt(const std::string &path, std::string base) {
    const std::string target = os::renamed_into_place(path);
    if (target.empty())
        return nullptr; // a device or a pipe: written once, at the end
    table_for_interrupt *kept = nullptr;
    const bool set_up = ran_in_memory([&] {
        auto t = std::make_unique<table_for_interrupt>();
        t->base = std::move(base);
        index_rows(*t);
        t->target = target;
        if (const os::result<struct stat> st = os::status_of(target); st)
            t->mode = static_cast<int>(st.value().st_mode & 0777);
        // Made here, as the handler can make no name: unique to this process.
        t->temp = target + ".siteprep-import-" + os::process_tag();
        kept_tables.reserve(kept_tables.size() + 1);
        kept = t.get();
        const os::deferred_interrupts while_the_handler_may_read_them;
        kept_tables.push_back(std::move(t));
    });
    if (!set_up)
        return nullptr;
    os::at_interrupt(write_kept_tables);
    return kept;
}

void note_for_interrupt(table_for_interrupt *t, const std::string &name, const std::string &text,
                        bool in_place) {
    if (t == nullptr || t->lost)
        return;
    const auto named = t->rows_named.find(name);
    const bool noted = ran_in_memory([&] {
        if (in_place && named != t->rows_named.end()) {
            t->replacing_start.reserve(t->replacing_start.size() + 1);
            t->replacing += text;
            t->replacing_start.push_back(t->replacing.size());
        } else {
            t->appended += text;
        }
    });
    if (!noted) {
        t->lost = true;
        return;
    }
    t->noted = true;
    if (named == t->rows_named.end())
        return;
    for (const size_t i : named->second)
        t->shown[i] = t->dropped;
    if (in_place)
        t->shown[named->second.front()] = t->replacing_start.size() - 2;
}

void end_tables_for_interrupt() {
    const os::deferred_interrupts while_the_handler_may_read_them;
    os::at_interrupt(nullptr);
    kept_tables.clear();
    kept_stations = nullptr;
}

void keep_stations_for_interrupt(const std::string &path) {
    std::string base;
    const bool read = ran_in_memory([&] {
        os::result<std::string> found = read_table_file(path);
        if (found && merge_stations(*found, {}, base))
            with_distance = base.starts_with(stations_header(true));
        else
            base.clear();
    });
    if (read && !base.empty())
        kept_stations = keep_for_interrupt(path, std::move(base));
}

void note_station_for_interrupt(const station_row &row) {
    if (kept_stations == nullptr)
        return;
    std::string line;
    if (!ran_in_memory([&] { line = stations_line(row, with_distance); }))
        kept_stations->lost = true;
    else
        note_for_interrupt(kept_stations, row.name, line, true);
}

void end_stations_for_interrupt() {
    end_tables_for_interrupt();
}

std::string stem_of(const std::string &path) {
    std::string base = os::base_of(path);
    const size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

failure make_directories(std::string dir, std::vector<std::string> &made) {
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    const std::string failed = "Error making the directory " + shown_name(dir) + ": ";
    const os::result<struct stat> st = os::status_of(dir);
    if (st)
        return S_ISDIR(st.value().st_mode) ? failure{} : failure{failed + std::strerror(ENOTDIR)};
    if (st.err() == ENOENT && os::dir_of(dir) != dir)
        if (failure f = make_directories(os::dir_of(dir), made); f.failed())
            return f;
    if (const os::result<void> making = os::make_directory(dir); !making)
        return {failed + making.error().reason()};
    made.push_back(dir);
    return {};
}

std::vector<failure> guard_failures(const std::vector<os::guarded_file> &files) {
    std::vector<failure> found;
    for (std::string &message : os::guard_files(files))
        found.push_back({std::move(message)});
    return found;
}

int nothing_written(const std::vector<failure> &failures, const std::vector<std::string> &made) {
    for (const failure &f : failures)
        say_error_line(f.message);
    say_error_line("Nothing was written.");
    // The directories made for nothing go, where they can.
    for (auto dir = made.rbegin(); dir != made.rend(); ++dir)
        (void)os::remove_directory(*dir);
    return 1;
}

bool site_list_can_name(const std::string &name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        return is_blank_char(c) || static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
    });
}

std::string daily_file_in(const std::string &output_dir, const std::string &name) {
    std::string dir = output_dir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    while (dir.starts_with("./"))
        dir.erase(0, 2);
    // A site list's name that holds the directory already (wth/x, with -o
    // wth) names the file siteprep reads: the directory is not joined again.
    if (output_dir == "." || (dir != "." && dir != "/" && name.starts_with(dir + "/")))
        return paths_of(name).weather_file;
    return paths_of(output_dir + "/" + name).weather_file;
}

} // namespace import
