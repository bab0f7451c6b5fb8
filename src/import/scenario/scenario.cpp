// The delta method: a table of deltas by site (or "*" for every site) and
// month, optionally by scenario; each daily file read and checked as
// siteprep reads it, its values shifted and scaled with the decimals that
// keep them exact, everything else of its lines kept; the deltas applied
// listed beside the files, and with them, on request, the site list and
// its site files.
#include "scenario.h"
#include "csv.h"
#include "daily_line.h"
#include "file_paths.h"
#include "guard.h"
#include "input.h"
#include "layout.h"
#include "open.h"
#include "outputs.h"
#include "reporter.h"
#include "shown.h"
#include "signals.h"
#include "site_files.h"
#include "tokens.h"
#include "write_whole.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sys/stat.h>
#include <tuple>

namespace import {

namespace {

enum delta_kind { dtmax, dtmin, pfactor, delta_kinds };
const char *const delta_column[delta_kinds] = {"dtmax", "dtmin", "pfactor"};

// A row of the deltas table.
struct delta_row {
    std::string scenario, site;
    int month = 0;
    std::string text[delta_kinds]; // as given
    double number[delta_kinds] = {0, 0, 1};
    int decimals[delta_kinds] = {0, 0, 0};
    long line = 0;
};

struct delta_table {
    bool by_scenario = false;
    std::vector<std::string> scenarios; // in the order first named; "" without the column
    std::vector<delta_row> rows;
    std::map<std::tuple<std::string, std::string, int>, size_t> index; // scenario, site, month
};

struct deltas_columns {
    int site = -1, month = -1, scenario = -1, value[delta_kinds] = {-1, -1, -1};
};

failure read_header(const input &in, deltas_columns &c) {
    const std::vector<std::string> header = split_fields(in.line, ',');
    for (size_t i = 0; i < header.size(); ++i) {
        const std::string name = lower(header[i]);
        int *column = name == "site"       ? &c.site
                      : name == "month"    ? &c.month
                      : name == "scenario" ? &c.scenario
                      : name == "dtmax"    ? &c.value[dtmax]
                      : name == "dtmin"    ? &c.value[dtmin]
                      : name == "pfactor"  ? &c.value[pfactor]
                                           : nullptr;
        if (column != nullptr)
            *column = static_cast<int>(i);
    }
    if (c.site < 0 || c.month < 0 || c.value[dtmax] < 0 || c.value[dtmin] < 0 ||
        c.value[pfactor] < 0)
        return {at_line(in, "the header needs the columns site, month, dtmax, dtmin and pfactor "
                            "(scenario optional)")};
    return {};
}

// A scenario's name makes a directory: a name, not a path.
bool scenario_name(const std::string &name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           site_list_can_name(name);
}

failure read_row(const input &in, const deltas_columns &c, delta_row &row) {
    const std::vector<std::string> fields = split_fields(in.line, ',');
    const auto field = [&fields](int column) {
        return column >= 0 && static_cast<size_t>(column) < fields.size()
                   ? fields[static_cast<size_t>(column)]
                   : std::string();
    };
    row.line = in.number;
    row.site = field(c.site);
    row.scenario = field(c.scenario);
    if (row.site.empty())
        return {at_column(in, "site", "no site: a name, or * for every site")};
    if (c.scenario >= 0 && !scenario_name(row.scenario))
        return {at_column(in, "scenario",
                          quote_token(row.scenario) + " is not a name a directory can take")};
    if (!whole_number(field(c.month), row.month) || row.month < 1 || row.month > 12)
        return {at_column(in, "month", quote_token(field(c.month)) + " is not a month, 1 to 12")};
    for (int k = 0; k < delta_kinds; ++k) {
        row.text[k] = field(c.value[k]);
        if (!plain_number(row.text[k], row.number[k], row.decimals[k]))
            return {at_column(in, delta_column[k], quote_token(row.text[k]) + " is not a number")};
    }
    if (row.number[pfactor] < 0)
        return {at_column(in, "pfactor",
                          quote_token(row.text[pfactor]) +
                              " is below 0: precipitation is multiplied by it")};
    return {};
}

failure read_deltas(const std::string &path, delta_table &table) {
    input in(path);
    if (!in.opened())
        return {read_failure(in)};
    deltas_columns columns;
    bool header = true;
    while (in.next()) {
        if (is_blank(in.line))
            continue;
        if (header) {
            header = false;
            if (failure f = read_header(in, columns); f.failed())
                return f;
            table.by_scenario = columns.scenario >= 0;
            continue;
        }
        delta_row row;
        if (failure f = read_row(in, columns, row); f.failed())
            return f;
        const auto key = std::make_tuple(row.scenario, row.site, row.month);
        if (const auto [at, fresh] = table.index.emplace(key, table.rows.size()); !fresh)
            return {at_line(in, "the deltas of this site and month are on line " +
                                    std::to_string(table.rows[at->second].line) + " too")};
        if (std::find(table.scenarios.begin(), table.scenarios.end(), row.scenario) ==
            table.scenarios.end())
            table.scenarios.push_back(row.scenario);
        table.rows.push_back(std::move(row));
    }
    if (in.err != 0)
        return {read_failure(in)};
    if (table.rows.empty())
        return {input_name(path) + " holds no deltas"};
    return {};
}

// A daily file and what each scenario makes of it.
struct planned_file {
    std::string input, site, base;
    std::vector<std::string> output;                      // by scenario
    std::vector<std::array<const delta_row *, 12>> month; // by scenario
    std::vector<std::array<long, 12>> days, above;        // by scenario: days, and Tmin > Tmax
    bool done = false;
};

std::string stem(const std::string &base) {
    const size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

std::string dir_of_scenario(const scenario_request &r, const std::string &scenario) {
    return scenario.empty() ? r.output_dir : r.output_dir + "/" + scenario;
}

std::string provenance_of(const scenario_request &r, const std::string &scenario) {
    return dir_of_scenario(r, scenario) + "/deltas_applied.csv";
}

// A file copied into each scenario's directory (the site list, a site
// file): where it is read, its name there, its text.
struct site_copy {
    std::string from, name, text;
};

// The sites a site list names: the first field of each line not blank.
std::vector<std::string> listed_sites(std::string_view list) {
    std::vector<std::string> names;
    size_t at = list.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (at < list.size()) {
        const size_t end = std::min(list.find('\n', at), list.size());
        const std::string_view line = list.substr(at, end - at);
        size_t pos = 0;
        const std::string name(next_token(line, pos));
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
        at = end + 1;
    }
    return names;
}

failure read_whole(const std::string &path, std::string &text) {
    os::result<os::regular_file> opened = os::open_regular(path);
    os::result<std::string> read =
        opened ? os::read_rest(opened.value().file) : os::result<std::string>(opened.error());
    if (!read)
        return {"Error reading " + shown_name(path) + ": " + read.error().reason()};
    text = std::move(*read);
    return {};
}

// The site list and each listed site's NAME.sfp, found beside the list as
// a run in the list's directory finds it; each site's NAME.wth must be an
// input, or a scenario's directory would not run as it is.
failure read_site_copies(const std::string &sites, const std::vector<planned_file> &files,
                         std::vector<site_copy> &copies) {
    copies.push_back({sites, os::base_of(sites), {}});
    if (failure f = read_whole(sites, copies.back().text); f.failed())
        return f;
    const std::string dir = os::dir_of(sites);
    for (const std::string &name : listed_sites(copies.front().text)) {
        const site_paths site = paths_of(name);
        if (std::none_of(files.begin(), files.end(),
                         [&](const planned_file &f) { return f.base == site.weather_file; }))
            return {"The site " + quote_token(name) + " of " + shown_name(sites) +
                    " has no daily file among the inputs (" + site.weather_file +
                    "): a scenario's directory would not run"};
        copies.push_back(
            {dir == "." ? site.site_file : dir + "/" + site.site_file, site.site_file, {}});
        if (failure f = read_whole(copies.back().from, copies.back().text); f.failed())
            return f;
    }
    return {};
}

// The rows of a site's months in a scenario: its own, else those of "*".
failure resolve(const delta_table &table, const std::string &scenario, planned_file &f) {
    std::array<const delta_row *, 12> months{};
    for (int m = 1; m <= 12; ++m) {
        for (const std::string &site : {f.site, std::string("*")})
            if (const auto at = table.index.find({scenario, site, m}); at != table.index.end()) {
                months[static_cast<size_t>(m - 1)] = &table.rows[at->second];
                break;
            }
        if (months[static_cast<size_t>(m - 1)] == nullptr)
            return {"The deltas give no row for site " + quote_token(f.site) + ", month " +
                    std::to_string(m) +
                    (scenario.empty() ? std::string() : ", scenario " + quote_token(scenario)) +
                    " (" + input_name(f.input) + ")"};
    }
    f.month.push_back(months);
    return {};
}

std::vector<planned_file> plan_files(const scenario_request &r, const delta_table &table,
                                     std::vector<failure> &problems) {
    std::vector<planned_file> files;
    for (const std::string &input : r.inputs) {
        planned_file f;
        f.input = input;
        f.base = os::base_of(input);
        f.site = stem(f.base);
        for (const std::string &scenario : table.scenarios) {
            f.output.push_back(dir_of_scenario(r, scenario) + "/" + f.base);
            if (failure why = resolve(table, scenario, f); why.failed())
                problems.push_back(why);
        }
        f.days.assign(table.scenarios.size(), {});
        f.above.assign(table.scenarios.size(), {});
        files.push_back(std::move(f));
    }
    return files;
}

const char provenance_header[] = "site,month,dtmax,dtmin,pfactor,deltas_line,days,"
                                 "tmin_above_tmax\r\n";

// The provenance table as it is (empty: none); or what failed, or that it
// is there and is not one.
failure read_provenance(const std::string &path, std::string &text) {
    text.clear();
    const os::result<struct stat> st = os::status_of(path);
    if (!st && st.err() == ENOENT)
        return {};
    input in(path);
    if (!in.opened())
        return {read_failure(in)};
    while (in.next())
        text += in.line + "\r\n";
    if (in.err != 0)
        return {read_failure(in)};
    if (!text.empty() && !text.starts_with(provenance_header))
        return {shown_name(path) + " is not a table of deltas applied (its first line is not " +
                "the table's header): it is left as it is"};
    return {};
}

std::vector<failure> output_problems(const scenario_request &r, const delta_table &table,
                                     const std::vector<planned_file> &files,
                                     const std::vector<site_copy> &copies) {
    std::vector<os::guarded_file> guarded{{r.deltas, "the --deltas file", false}};
    for (const planned_file &f : files)
        guarded.push_back({f.input, "the input " + shown_name(f.input), false});
    for (const site_copy &c : copies)
        guarded.push_back({c.from, "the --sites file " + shown_name(c.from), false});
    std::vector<std::string> outputs;
    for (const planned_file &f : files)
        for (const std::string &out : f.output) {
            guarded.push_back({out, "the scenario file of " + shown_name(f.input), true});
            outputs.push_back(out);
        }
    for (const std::string &scenario : table.scenarios) {
        guarded.push_back({provenance_of(r, scenario), "the table of deltas applied", true});
        for (const site_copy &c : copies) {
            outputs.push_back(dir_of_scenario(r, scenario) + "/" + c.name);
            guarded.push_back({outputs.back(), "the copy of " + shown_name(c.from), true});
        }
    }
    std::vector<failure> found = guard_failures(guarded);
    for (const std::string &out : outputs)
        if (found.empty() && !r.force && os::link_status_of(out).ok())
            found.push_back({shown_name(out) + " exists: --force replaces it"});
    std::string text;
    for (const std::string &scenario : table.scenarios)
        if (found.empty())
            if (failure why = read_provenance(provenance_of(r, scenario), text); why.failed())
                found.push_back(why);
    return found;
}

// A value shifted or scaled: its text's decimals and the delta's kept.
value changed(std::string_view token, float read, const delta_row &d, int kind) {
    double number = 0;
    int decimals = 0;
    if (!plain_number(token, number, decimals)) {
        number = read; // a spelling plain_number does not take ("1e1")
        decimals = 2;
    }
    value v;
    v.valid = true;
    v.number = kind == pfactor ? number * d.number[pfactor] : number + d.number[kind];
    if (v.number == 0)
        v.number = 0; // never "-0.0"
    v.decimals =
        kind == pfactor ? decimals + d.decimals[pfactor] : std::max(decimals, d.decimals[kind]);
    return v;
}

// A daily line with its values changed by the month's deltas, the rest of
// it kept; counts its day, a Tmin left above Tmax, and a value the deltas
// take outside the physical range (written missing, as an import writes it).
std::string changed_line(const std::string &line, const daily_record &day,
                         const std::array<const delta_row *, 12> &months,
                         std::array<long, 12> &days, std::array<long, 12> &above,
                         outside_range &outside) {
    const size_t m = static_cast<size_t>(day.month - 1);
    const delta_row &d = *months[m];
    size_t at = 0;
    std::string_view token[7];
    for (std::string_view &t : token)
        t = next_token(line, at);
    std::string out;
    for (int i = 0; i < 4; ++i)
        out += std::string(token[i]) + " ";
    const float read[3] = {day.tmax, day.tmin, day.prec};
    const int kind[3] = {dtmax, dtmin, pfactor};
    float written[3] = {0, 0, 0};
    bool kept[3] = {false, false, false};
    for (int i = 0; i < 3; ++i) {
        const value v = is_valid(read[i]) ? changed(token[4 + i], read[i], d, kind[i]) : value{};
        if (!is_valid(read[i])) {
            out += std::string(token[4 + i]); // missing stays as it is
        } else if (!physically_possible(i, v.number)) {
            outside.note(i, {day.year, day.month, day.day});
            out += "-99.99";
        } else {
            const std::string text = value_text(v);
            written[i] = std::strtof(text.c_str(), nullptr);
            kept[i] = true;
            out += text;
        }
        out += i < 2 ? " " : "";
    }
    ++days[m];
    if (kept[0] && kept[1] && written[1] > written[0])
        ++above[m];
    return out + line.substr(at) + "\n";
}

// The lines of a daily file, each checked as siteprep reads it; or what is
// wrong.
failure read_daily(const std::string &path, std::vector<std::string> &lines,
                   std::vector<daily_record> &days) {
    input in(path);
    if (!in.opened())
        return {read_failure(in)};
    while (in.next()) {
        daily_record day;
        std::string why;
        const parse_status status = parse_daily_line(in.line, day, why);
        if (status == parse_status::bad)
            return {at_line(in, why)};
        lines.push_back(in.line);
        days.push_back(status == parse_status::ok ? day : daily_record{});
    }
    if (in.err != 0)
        return {read_failure(in)};
    return {};
}

// A site's rows of the deltas applied in scenario s, a month each.
std::string provenance_rows(const planned_file &f, size_t s) {
    std::string text;
    for (size_t m = 0; m < 12; ++m) {
        const delta_row &d = *f.month[s][m];
        text += csv_field(f.site) + format_message(",%zu,", m + 1) + d.text[dtmax] + "," +
                d.text[dtmin] + "," + d.text[pfactor] + "," + std::to_string(d.line) + "," +
                std::to_string(f.days[s][m]) + "," + std::to_string(f.above[s][m]) + "\r\n";
    }
    return text;
}

// One input's files, a scenario each, each said, and its rows of the
// deltas applied kept for an interrupt (kept, a table by scenario); or
// what failed.
failure write_scenarios(const delta_table &table, planned_file &f,
                        const std::vector<table_for_interrupt *> &kept) {
    std::vector<std::string> lines;
    std::vector<daily_record> days;
    if (failure why = read_daily(f.input, lines, days); why.failed())
        return why;
    // An interrupt waits for the input's files, made from what was read,
    // and their rows of the deltas applied.
    const os::deferred_interrupts until_the_rows_are_kept;
    for (size_t s = 0; s < table.scenarios.size(); ++s) {
        outside_range outside;
        const os::result<void> done =
            os::write_file_replacing(f.output[s], f.output[s] + ".", [&](os::out_stream &out) {
                for (size_t i = 0; i < lines.size(); ++i)
                    out.put(days[i].month == 0 ? lines[i] + "\n"
                                               : changed_line(lines[i], days[i], f.month[s],
                                                              f.days[s], f.above[s], outside));
                return 0;
            });
        if (!done)
            return {"Error writing " + shown_name(f.output[s]) + ": " + done.error().reason()};
        long all = 0, above = 0;
        for (int m = 0; m < 12; ++m)
            all += f.days[s][static_cast<size_t>(m)], above += f.above[s][static_cast<size_t>(m)];
        say_line(shown_name(f.output[s]) + ": " + counted(all, "day") + " from " +
                 input_name(f.input) +
                 (above > 0 ? ", " + counted(above, "day") + " with Tmin above Tmax" : ""));
        say_outside_range(shown_name(f.output[s]), outside, "written as -99.99");
    }
    f.done = true;
    for (size_t s = 0; s < kept.size(); ++s)
        note_for_interrupt(kept[s], f.site, provenance_rows(f, s), false);
    return {};
}

// The deltas applied in a scenario's directory: its table's rows of the
// sites done now replaced, the others kept; or what failed.
failure write_provenance(const scenario_request &r, const delta_table &table, size_t s,
                         const std::vector<planned_file> &files) {
    const std::string path = provenance_of(r, table.scenarios[s]);
    std::string old;
    if (failure f = read_provenance(path, old); f.failed())
        return f;
    std::vector<std::string> sites;
    for (const planned_file &f : files)
        if (f.done)
            sites.push_back(f.site);
    if (sites.empty())
        return {};
    std::string text = provenance_header;
    // Each row of the old table ends in CR LF: read_provenance made it so.
    for (size_t at = sizeof provenance_header - 1; at < old.size();) {
        const size_t end = old.find("\r\n", at);
        const std::string row = old.substr(at, end - at);
        at = end + 2;
        if (std::find(sites.begin(), sites.end(), split_fields(row, ',')[0]) == sites.end())
            text += row + "\r\n";
    }
    for (const planned_file &f : files)
        if (f.done)
            text += provenance_rows(f, s);
    return write_text_replacing(path, text);
}

// Each scenario's table of deltas applied, kept for an interrupt, which
// then writes it with the rows of the inputs done.
std::vector<table_for_interrupt *> keep_provenance_for_interrupt(const scenario_request &r,
                                                                 const delta_table &table) {
    std::vector<table_for_interrupt *> kept;
    for (const std::string &scenario : table.scenarios) {
        const std::string path = provenance_of(r, scenario);
        std::string old;
        if (read_provenance(path, old).failed())
            kept.push_back(nullptr); // left as it is, as the end leaves it
        else
            kept.push_back(keep_for_interrupt(path, old.empty() ? provenance_header : old));
    }
    return kept;
}

// With --sites, every input is read and checked before anything is
// written: the daily files and the site files of a directory go together.
std::vector<failure> input_problems(const std::vector<planned_file> &files) {
    std::vector<failure> found;
    for (const planned_file &f : files) {
        std::vector<std::string> lines;
        std::vector<daily_record> days;
        if (failure why = read_daily(f.input, lines, days); why.failed())
            found.push_back(why);
    }
    return found;
}

// The site list and its site files in each scenario's directory, once
// every input made its files there; or what failed.
failure write_site_copies(const scenario_request &r, const delta_table &table,
                          const std::vector<planned_file> &files,
                          const std::vector<site_copy> &copies) {
    if (copies.empty())
        return {};
    if (std::any_of(files.begin(), files.end(), [](const planned_file &f) { return !f.done; }))
        return {"The site list " + shown_name(r.sites) +
                " and its site files were not copied: not every input made its files"};
    for (const std::string &scenario : table.scenarios) {
        const std::string dir = dir_of_scenario(r, scenario) + "/";
        for (const site_copy &c : copies)
            if (failure f = write_text_replacing(dir + c.name, c.text); f.failed())
                return f;
        say_line(shown_name(dir + copies.front().name) + ": the site list and " +
                 counted(static_cast<long>(copies.size() - 1), "site file"));
    }
    return {};
}

// The plan's problems, before anything is written: the deltas of every
// input, the directories, the --sites files, the guard, with --sites the inputs.
std::vector<failure> plan_problems(const scenario_request &r, const delta_table &table,
                                   const std::vector<planned_file> &files,
                                   std::vector<site_copy> &copies, std::vector<failure> problems,
                                   std::vector<std::string> &made) {
    for (const std::string &scenario : table.scenarios)
        if (failure f = make_directories(dir_of_scenario(r, scenario), made);
            problems.empty() && f.failed())
            problems.push_back(f);
    if (problems.empty() && !r.sites.empty())
        if (failure f = read_site_copies(r.sites, files, copies); f.failed())
            problems.push_back(f);
    if (problems.empty())
        problems = output_problems(r, table, files, copies);
    if (problems.empty() && !r.sites.empty())
        problems = input_problems(files);
    return problems;
}

int make_scenarios(const scenario_request &r) {
    delta_table table;
    if (failure f = read_deltas(r.deltas, table); f.failed())
        return nothing_written({f}, {});
    std::vector<failure> planned;
    std::vector<std::string> made;
    std::vector<planned_file> files = plan_files(r, table, planned);
    std::vector<site_copy> copies;
    const std::vector<failure> problems = plan_problems(r, table, files, copies, planned, made);
    if (!problems.empty())
        return nothing_written(problems, made);
    int status = 0;
    std::vector<std::string> failed;
    const std::vector<table_for_interrupt *> kept = keep_provenance_for_interrupt(r, table);
    for (planned_file &f : files) {
        if (failure why = write_scenarios(table, f, kept); why.failed()) {
            say_error_line(why.message);
            failed.push_back(why.message);
            status = 1;
            if (!r.keep_going)
                break;
        }
    }
    if (r.keep_going && !failed.empty())
        say_failures("inputs", failed, files.size());
    for (size_t s = 0; s < table.scenarios.size(); ++s)
        if (failure f = write_provenance(r, table, s, files); f.failed()) {
            say_error_line(f.message);
            status = 1;
        }
    end_tables_for_interrupt();
    if (failure f = write_site_copies(r, table, files, copies); f.failed()) {
        say_error_line(f.message);
        status = 1;
    }
    return status;
}

} // namespace

int run_scenario(const scenario_request &request) {
    return run_reported([&] { return make_scenarios(request); });
}

} // namespace import
