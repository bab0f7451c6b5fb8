// Gaps in the daily files: the statistics under a completeness rule and a
// period (--completeness, --years), the months' table (--monthly), the
// summary's added columns, what the check says a rule changes, and the
// importer's fill (its filled file, its record and its skill table).
#include "checksum.h"
#include "data.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>

namespace {

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// The CRC-32 of a file's bytes, as the fill's record gives it.
std::string crc_of(const std::string &text) {
    return std::to_string(crc32_of(text.data(), text.size()));
}

// Two years of a site: 2001 with Tmax 20, Tmin 10 and 1 cm a day, 2002
// with 24, 12 and 2. March 1 to 5 of 2001 lack their temperatures (5 days
// in a row: wmo leaves the month out), June 15 of 2001 its precipitation
// (wmo leaves it out), and with june_2002, June 20 of 2002 too.
void write_gappy_site(const scratch_dir &dir, bool june_2002 = false) {
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.sfp", site_file("1 ELEV\n"));
    dir.write(
        "plot.wth", daily_file({.first_year = 2001, .years = 2}, [june_2002](const file_day &d) {
            const bool first = d.year == 2001;
            const bool no_temps = first && d.month == 3 && d.day <= 5;
            const bool no_prec = d.month == 6 && (first ? d.day == 15 : june_2002 && d.day == 20);
            return std::string(no_temps ? "-99.99 -99.99"
                               : first  ? "20 10"
                                        : "24 12") +
                   (no_prec ? " -99.99"
                    : first ? " 1"
                            : " 2");
        }));
}

// The value the weather block gives a name ("TMX2M(3)").
std::string block_value(const std::string &site_file, const std::string &name) {
    const size_t at = site_file.find("'" + name + "'");
    const size_t start = site_file.rfind('\n', at) + 1;
    return site_file.substr(start, site_file.find(' ', start) - start);
}

// By hand: legacy takes March 2001's 26 days of 20 and June 2001's 29 cm,
// wmo leaves both out.
TEST(Gaps, ARuleLeavesIncompleteMonthsOut) {
    scratch_dir dir;
    write_gappy_site(dir);
    const tool_result plain = run_tool(dir.path(), {"sites.txt"});
    ASSERT_EQ(plain.status, 0) << plain.out;
    EXPECT_EQ(block_value(dir.read("plot.sfp"), "TMX2M(3)"), "22.0000");
    EXPECT_EQ(block_value(dir.read("plot.sfp"), "PRECIP(6)"), "44.5000");
    const tool_result r =
        run_tool(dir.path(), {"--completeness", "wmo", "--monthly", "m.csv", "--summary", "s.csv",
                              "--report", "r.html", "sites.txt"});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string sfp = dir.read("plot.sfp");
    EXPECT_EQ(block_value(sfp, "TMX2M(3)"), "24.0000");
    EXPECT_EQ(block_value(sfp, "PRECIP(6)"), "60.0000");
    EXPECT_EQ(block_value(sfp, "PRECIP(7)"), "46.5000"); // complete months as before
    const std::string m = dir.read("m.csv");
    EXPECT_EQ(m.rfind("site,line,year,month,prcp_total,tmin_mean,tmax_mean,prcp_days,tmin_days,"
                      "tmax_days,days_in_month,longest_gap,filled,used\r\n",
                      0),
              0u);
    EXPECT_TRUE(has(m, "\nplot,1,2001,3,31.0000,10.0000,20.0000,31,26,26,31,5,0,prcp\r\n")) << m;
    EXPECT_TRUE(has(m, "\nplot,1,2001,6,29.0000,10.0000,20.0000,29,30,30,30,1,0,tmin+tmax\r\n"));
    EXPECT_TRUE(has(m, "\nplot,1,2002,12,62.0000,12.0000,24.0000,31,31,31,31,0,0,prcp+tmin+tmax"));
    const std::string s = dir.read("s.csv");
    EXPECT_TRUE(
        has(s, "PRECIP,PRCSTD,PRCSKW,TMN2M,TMX2M,prcskw_g1,prcskw_se,completeness,years\r\n"));
    // The page names the rule, and shows the months each year row gave:
    // March 2001 gave its precipitation alone.
    const std::string page = dir.read("r.html");
    EXPECT_TRUE(has(page, "Statistics under --completeness wmo;"));
    // Two year rows of twelve months, a letter each for the page's script
    // to draw: March and June 2001 amber (some of the statistics).
    const size_t strip = page.find("\"strip\":[2001,2002,\"");
    ASSERT_NE(strip, std::string::npos) << page;
    const std::string codes = page.substr(strip + 20, page.find('"', strip + 20) - strip - 20);
    ASSERT_EQ(codes.size(), 24u) << codes;
    EXPECT_EQ(codes[2], 'a') << codes;
    EXPECT_EQ(codes[5], 'a') << codes;
    // Two years: too few for a sample skewness.
    EXPECT_TRUE(
        has(s, "\nplot,1,6,2,1,2,2,60.0000,0.0000,0.0000,11.0000,22.0000,NA,NA,wmo,all\r\n"))
        << s;
}

TEST(Gaps, LegacyNamedIsTodaysRuleWithTheSummarysColumns) {
    scratch_dir dir;
    write_gappy_site(dir);
    ASSERT_EQ(
        run_tool(dir.path(), {"--summary", "plain.csv", "--report", "r.html", "sites.txt"}).status,
        0);
    EXPECT_FALSE(has(dir.read("r.html"), "\"strip\":")); // no strip by default
    const std::string plain = dir.read("plot.sfp");
    write_gappy_site(dir);
    ASSERT_EQ(run_tool(dir.path(), {"--completeness", "legacy", "--summary", "s.csv", "sites.txt"})
                  .status,
              0);
    EXPECT_EQ(dir.read("plot.sfp"), plain);
    EXPECT_FALSE(has(dir.read("plain.csv"), "prcskw_g1"));
    EXPECT_TRUE(has(dir.read("s.csv"), ",NA,NA,legacy,all\r\n"));
}

TEST(Gaps, AMonthLeftWithoutAYearFailsTheSite) {
    scratch_dir dir;
    write_gappy_site(dir, true);
    const tool_result r = run_tool(dir.path(), {"--completeness", "wmo", "sites.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.out, "Error in weather data file plot.wth: June precipitation: no year left "
                           "by --completeness wmo, so its statistics would be nan"))
        << r.out;
    // Its site keys, not its block, as for a daily file that cannot be used.
    EXPECT_TRUE(has(dir.read("plot.sfp"), "'OLD(1)'"));
    EXPECT_FALSE(has(dir.read("plot.sfp"), "'PRECIP(1)'"));
    const tool_result check =
        run_tool(dir.path(), {"--check", "--completeness", "wmo", "sites.txt"});
    EXPECT_EQ(check.status, 1);
    EXPECT_TRUE(has(check.out, "June precipitation: no year left")) << check.out;
}

TEST(Gaps, TheCheckSaysWhatARuleAndAPeriodChange) {
    scratch_dir dir;
    write_gappy_site(dir);
    const tool_result r = run_tool(dir.path(), {"--check", "--completeness", "wmo", "--years",
                                                "2001-2003", "--normals-min", "0.5", "sites.txt"});
    EXPECT_EQ(r.out.rfind("Statistics under --completeness wmo, --years 2001-2003", 0), 0u)
        << r.out;
    EXPECT_TRUE(has(r.out, "plot.wth under --completeness wmo, --years 2001-2003, against the "
                           "defaults: largest change PRECIP 15.5000 (June), PRCSTD 15.5000 (June), "
                           "TMN2M 1.0000 (March), TMX2M 2.0000 (March); months left out: 1 of "
                           "precipitation (2001-06), 1 of Tmin (2001-03), 1 of Tmax (2001-03); 0 "
                           "year rows outside 2001-2003\n"))
        << r.out;
    // Of the period's three years, each month has at most two.
    EXPECT_TRUE(has(r.out, "Warning: plot.wth: March has values in fewer than 0.5 of the 3 years "
                           "of 2001-2003 that a normal needs (--normals-min): Tmin 1, Tmax 1\n"))
        << r.out;
    EXPECT_FALSE(has(r.out, "Warning: plot.wth: April"));
}

// Ten years of 1 to 10 cm a day, June's precipitation missing in two and
// each July's 15th: 8 of 10 Junes reach 0.8 exactly, not 0.81; wmo fails
// the site (July), whose summary rows are NA in the sample skewness too, as
// in the block's columns.
TEST(Gaps, NormalsMinHoldsAtExactlyTheShareAndAFailedSiteHasNoSkewness) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.sfp", site_file("1 ELEV\n"));
    dir.write("plot.wth", daily_file({.first_year = 2001, .years = 10}, [](const file_day &d) {
                  const bool gap =
                      (d.month == 6 && d.year <= 2002) || (d.month == 7 && d.day == 15);
                  return "20 10 " + (gap ? std::string("-99.99") : std::to_string(d.year - 2000));
              }));
    for (const auto &[share, warns] : {std::pair{"0.8", false}, {"0.81", true}, {"0.2", false}}) {
        const tool_result r = run_tool(
            dir.path(), {"--check", "--years", "2001-2010", "--normals-min", share, "sites.txt"});
        EXPECT_EQ(has(r.out, "June has values in fewer than"), warns) << share << "\n" << r.out;
    }
    ASSERT_EQ(
        run_tool(dir.path(), {"--completeness", "wmo", "--summary", "s.csv", "sites.txt"}).status,
        1);
    EXPECT_TRUE(has(dir.read("s.csv"), "\nplot,1,1,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,wmo,all\r\n"))
        << dir.read("s.csv");
}

// Daymet's calendar drops December 31 of 2004: wmo leaves that December's
// precipitation out, and daymet --fill-from fills the day from a donor.
TEST(Gaps, DaymetsLeapDecember31IsFilledFromADonor) {
    scratch_dir dir;
    std::string daymet = "year,yday,prcp (mm/day),tmax (deg c),tmin (deg c)\n";
    for (int y : {2003, 2004})
        for (int doy = 1; doy <= 365; ++doy)
            daymet += std::to_string(y) + "," + std::to_string(doy) + ",5,20,10\n";
    dir.write("plot.csv", daymet);
    dir.write("donor.wth", daily_file({.first_year = 2003, .years = 2}, "21 11 0.6"));
    ASSERT_EQ(run_import(dir.path(), {"daymet", "plot.csv"}).status, 0);
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.sfp", site_file("1 ELEV\n"));
    const tool_result plain =
        run_tool(dir.path(), {"--check", "--completeness", "wmo", "sites.txt"});
    EXPECT_TRUE(has(plain.out, "December 31 of 1 leap year has no value")) << plain.out;
    EXPECT_TRUE(has(plain.out, "months left out: 1 of precipitation (2004-12)")) << plain.out;
    const tool_result filled =
        run_import(dir.path(), {"daymet", "--fill-from", "donor.wth", "--force", "plot.csv"});
    ASSERT_EQ(filled.status, 0) << filled.err;
    EXPECT_TRUE(has(dir.read("plot.wth"), "\n31 12 2004 366 20.00 10.00 0.500\n"))
        << dir.read("plot.wth").substr(9000);
    EXPECT_TRUE(has(dir.read("plot.fill.csv"), "\r\n2004-12-31,prcp,0.500,donor,donor.wth,0.8"));
    const tool_result after =
        run_tool(dir.path(), {"--check", "--completeness", "wmo", "sites.txt"});
    EXPECT_FALSE(has(after.out, "December 31")) << after.out;
    EXPECT_TRUE(has(after.out, "months left out: 0 of precipitation")) << after.out;
    EXPECT_FALSE(has(after.out, "does not describe")) << after.out;
    // A plain import again leaves the record, which no longer describes the file.
    ASSERT_EQ(run_import(dir.path(), {"daymet", "--force", "plot.csv"}).status, 0);
    const tool_result again = run_tool(dir.path(), {"--check", "--monthly", "m.csv", "sites.txt"});
    EXPECT_TRUE(has(again.out, "Warning: plot.fill.csv does not describe plot.wth")) << again.out;
    EXPECT_TRUE(has(dir.read("m.csv"), "\nplot,1,2004,12,15.0000,10.0000,20.0000,30,30,30,31,1,0,"))
        << dir.read("m.csv");
}

TEST(Gaps, YearsTakeThePeriodOnly) {
    scratch_dir dir;
    write_gappy_site(dir);
    ASSERT_EQ(
        run_tool(dir.path(), {"--years", "2002-2002", "--summary", "s.csv", "sites.txt"}).status,
        0);
    EXPECT_EQ(block_value(dir.read("plot.sfp"), "PRECIP(6)"), "60.0000");
    EXPECT_TRUE(has(dir.read("s.csv"),
                    "\nplot,1,1,1,1,1,1,62.0000,0.0000,0.0000,12.0000,24.0000,NA,NA,"
                    "legacy,2002-2002\r\n"));
    const tool_result none = run_tool(dir.path(), {"--years", "1991-2000", "sites.txt"});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(has(none.out, "no year row in the years 1991-2000 (--years)")) << none.out;
}

// The fill of the gappy site from a donor that is it plus 1.5 degrees and
// 0.5 times: its temperatures and precipitation come back as they were.
TEST(Gaps, TheFillRestoresWhatTheDonorKnowsAndRecordsIt) {
    scratch_dir dir;
    write_gappy_site(dir);
    dir.write("donor.wth", daily_file({.first_year = 2000, .years = 4}, [](const file_day &d) {
                  return d.year == 2002 ? "25.5 13.5 1" : "21.5 11.5 0.5";
              }));
    const tool_result r =
        run_import(dir.path(), {"fill", "plot.wth", "--donor", "donor.wth", "--max-interp", "0",
                                "--min-overlap", "20", "-o", "out"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "out/plot.wth: filled tmax 5 (donor.wth 5), tmin 5 (donor.wth 5), prcp 1 "
                     "(donor.wth 1); still missing: tmax 0, tmin 0, prcp 0\n");
    const std::string filled = dir.read("out/plot.wth");
    EXPECT_TRUE(has(filled, "\n1 3 2001 60 20.00 10.00 1\n")) << filled.substr(0, 200);
    EXPECT_TRUE(has(filled, "\n15 6 2001 166 20 10 1.000\n"));
    const std::string record = dir.read("out/plot.fill.csv");
    const std::string tie = "," + crc_of(dir.read("out/plot.wth")) + "\r\n";
    EXPECT_EQ(record.rfind("date,quantity,value,method,source,adjustment,daily_crc32\r\n"
                           "2001-03-01,tmax,20.00,donor,donor.wth,-1.5" +
                               tie,
                           0),
              0u)
        << record;
    EXPECT_TRUE(has(record, "2001-06-15,prcp,1.000,donor,donor.wth,2" + tie));
    EXPECT_TRUE(has(dir.read("out/plot.fill-skill.csv"),
                    "\ndonor.wth,tmax,3,57,-1.5000,0.0000,yes,5,0.0000,0.0000\r\n"));
    // The months' table counts the days filled.
    dir.write("sites.txt", site_row("out/plot"));
    dir.write("out/plot.sfp", site_file("1 ELEV\n"));
    ASSERT_EQ(
        run_tool(dir.path(), {"--completeness", "wmo", "--monthly", "m.csv", "sites.txt"}).status,
        0);
    EXPECT_TRUE(has(dir.read("m.csv"), "\nout/plot,1,2001,3,31.0000,10.0000,20.0000,31,31,31,31,0,"
                                       "5,prcp+tmin+tmax\r\n"));
    // Again without --force: refused, the first fill kept.
    const tool_result again =
        run_import(dir.path(), {"fill", "plot.wth", "--donor", "donor.wth", "-o", "out"});
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(has(again.err, "out/plot.wth exists: --force replaces it")) << again.err;
    // A donor that is no daily file is named, and nothing is written.
    dir.write("notes.wth", "station moved in 1987\n");
    const tool_result notes =
        run_import(dir.path(), {"fill", "plot.wth", "--donor", "notes.wth", "-o", "other"});
    EXPECT_EQ(notes.status, 1);
    EXPECT_TRUE(has(notes.err, "The donor notes.wth line 1: ")) << notes.err;
    EXPECT_TRUE(has(notes.err, "not a daily file this tool reads")) << notes.err;
    EXPECT_FALSE(dir.exists("other/plot.wth"));
    // A donor that is the output is refused before anything is written.
    const tool_result onto =
        run_import(dir.path(), {"fill", "plot.wth", "--donor", "plot.wth", "--force"});
    EXPECT_EQ(onto.status, 1);
    EXPECT_TRUE(has(onto.err, "Nothing was written")) << onto.err;
}

} // namespace

namespace {

// A value no weather can have is never a fill's: a donor's Tmax of 1e30 and
// precipitation of -5 cm leave the day to the next donor, and the target's
// own Tmax of 75 is taken as missing and filled.
TEST(Gaps, TheFillNeverUsesAValueNoWeatherCanHave) {
    scratch_dir dir;
    dir.write("plot.wth", daily_file({}, [](const file_day &d) {
                  return d.month == 3 && d.day == 1   ? "75 10 -99.99"
                         : d.month == 3 && d.day == 2 ? "-99.99 10 1"
                                                      : "20 10 1";
              }));
    dir.write("bad.wth", daily_file({}, [](const file_day &d) {
                  return d.month == 3 && d.day == 2 ? "1e30 11 1" : "21 11 -5.00";
              }));
    dir.write("good.wth", daily_file({}, "22 12 2"));
    const tool_result r =
        run_import(dir.path(), {"fill", "plot.wth", "--donor", "bad.wth", "--donor", "good.wth",
                                "--max-interp", "0", "--min-overlap", "20", "-o", "out"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "out/plot.wth: filled tmax 2 (bad.wth 1, good.wth 1), tmin 0, prcp 1 "
                     "(good.wth 1); still missing: tmax 0, tmin 0, prcp 0\n");
    EXPECT_EQ(r.err, "siteprep-import: warning: plot.wth: 1 tmax value outside -90 to 60 degrees "
                     "C (on 2001-03-01), taken as missing\n"
                     "siteprep-import: warning: the donor bad.wth: 1 tmax value outside -90 to 60 "
                     "degrees C (on 2001-03-02); 364 prcp values outside 0 to 200 cm a day (the "
                     "first on 2001-01-01), never used\n");
    const std::string filled = dir.read("out/plot.wth");
    EXPECT_TRUE(has(filled, "\n1 3 2001 60 20.00 10 1.000\n")) << filled.substr(0, 200);
    EXPECT_TRUE(has(filled, "\n2 3 2001 61 20.00 10 1\n"));
}

} // namespace

namespace {

// The filled file, its record and its skill table are written together or
// not at all: past a file size limit that the record alone exceeds, the
// target (in place or in -o) is left as it was, no record beside it, and
// the message says so.
TEST(Gaps, TheFillWritesItsThreeFilesOrNone) {
    scratch_dir dir;
    const std::string target = daily_file({.years = 2}, [](const file_day &d) {
        return d.year == 2002 ? "-99.99 -99.99 1" : "20 10 1";
    });
    dir.write("t.wth", target);
    dir.write("donor.wth", daily_file({.years = 2}, "21 11 1"));
    for (const std::string where : {"--force", "-o"}) {
        std::vector<std::string> args = {"fill",          "t.wth", "--donor", "donor.wth",
                                         "--min-overlap", "20",    where};
        if (where == "-o")
            args.push_back("out");
        const tool_result r =
            run_tool(dir.path(), args, {.program = SITEPREP_IMPORT_BIN, .file_size_limit = 24000});
        EXPECT_EQ(r.status, 1);
        const std::string in = where == "-o" ? "out/" : "";
        EXPECT_TRUE(has(r.err, "Error writing " + in + "t.fill.csv: File too large; " + in +
                                   "t.wth, " + in + "t.fill.csv and " + in +
                                   "t.fill-skill.csv are left as they were"))
            << r.err;
    }
    EXPECT_EQ(dir.read("t.wth"), target);
    EXPECT_EQ(dir.snapshot().size(), 3u); // t.wth, donor.wth and the directory out, empty
}

} // namespace

namespace {

// fill --stations gives the target's row its filled file's counts, every
// other byte of the table as it was.
TEST(Gaps, TheFillRecountsTheTargetsStationsRow) {
    scratch_dir dir;
    dir.write("t.wth", daily_file({.years = 2}, [](const file_day &d) {
                  return d.year == 2002 ? "-99.99 -99.99 1" : "20 10 1";
              }));
    dir.write("donor.wth", daily_file({.years = 2}, "21 11 1"));
    const std::string header =
        "name,format,latitude,longitude,elevation_m,first_date,last_date,"
        "days,missing_tmax,missing_tmin,missing_prcp,mean_annual_prcp_cm\r\n";
    const std::string other = "u,csv,40,-100,NA,2001-01-01,2001-12-31,365,3,3,0,365.25\r\n";
    dir.write("st.csv",
              header + other +
                  "t,csv,41.5,-105.25,1530,2001-01-01,2002-12-31,730,365,365,0,365.25\r\n");
    const tool_result r =
        run_import(dir.path(), {"fill", "t.wth", "--donor", "donor.wth", "--min-overlap", "20",
                                "--force", "--stations", "st.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("st.csv"),
              header + other +
                  "t,csv,41.5,-105.25,1530,2001-01-01,2002-12-31,730,0,0,0,365.25\r\n");
    // A table without the target's row: nothing is written.
    dir.write("st.csv", header + other);
    const tool_result none = run_import(
        dir.path(), {"fill", "t.wth", "--donor", "donor.wth", "--force", "--stations", "st.csv"});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(has(none.err, "st.csv has no row of t: nothing was written")) << none.err;
}

} // namespace

namespace {

// A station of precipitation alone, refused without --fill-from, is told
// how to use it, and the list of failures names each input once.
TEST(Gaps, APrecipitationStationIsToldOfFillFrom) {
    scratch_dir dir;
    dir.write("a.dly", dly("PRCP", 2001, 1, 1, 100));
    const tool_result r = run_import(dir.path(), {"ghcn", "--keep-going", "-o", "o", "a.dly"});
    EXPECT_EQ(r.status, 1);
    const std::string why = "a.dly: no tmax value on any of the 365 days written: its statistics "
                            "could only be nan; --fill-from NEAR.wth fills what it lacks from a "
                            "nearby station's daily file\n";
    EXPECT_EQ(r.err, why + "Failed inputs:\n" + why + "1 of 1 inputs failed\n");
}

} // namespace

namespace {

// A record is counted only beside its own daily file: --monthly and the
// check take one written before the tie as before, and name one of another
// file (the daily file written again since), whose days are not counted.
TEST(Gaps, ARecordCountsOnlyBesideItsOwnDailyFile) {
    const std::string head = "date,quantity,value,method,source,adjustment";
    const std::string days[] = {"2001-03-01,tmax,20.00,interpolation,,",
                                "2001-03-02,tmax,20.00,interpolation,,",
                                "2001-03-03,tmax,20.00,interpolation,,"};
    const auto record = [&](const std::string &tie, const char *eol) {
        std::string text = head + (tie.empty() ? "" : ",daily_crc32") + eol;
        for (const std::string &day : days)
            text += day + (tie.empty() ? "" : "," + tie) + eol;
        return text;
    };
    scratch_dir dir;
    write_gappy_site(dir);
    const std::string own = crc_of(dir.read("plot.wth"));
    const struct {
        const char *what;
        std::string record;
        bool stale;
    } cases[] = {{"tied to it", record(own, "\r\n"), false},
                 {"saved by pandas", record(own, "\n"), false},
                 {"written before the tie", record("", "\r\n"), false},
                 {"of another file", record(std::to_string(std::stoul(own) ^ 1), "\r\n"), true}};
    const std::string named = "plot.fill.csv does not describe plot.wth: its daily_crc32 is not "
                              "the file's CRC-32";
    for (const auto &c : cases) {
        dir.write("plot.fill.csv", c.record);
        const tool_result check =
            run_tool(dir.path(), {"--check", "--monthly", "m.csv", "sites.txt"});
        EXPECT_EQ(has(check.out, "Warning: " + named), c.stale) << c.what << check.out;
        EXPECT_TRUE(has(dir.read("m.csv"), c.stale ? ",26,26,31,5,0," : ",26,26,31,5,3,"))
            << c.what;
        const tool_result bare = run_tool(dir.path(), {"--check", "sites.txt"});
        EXPECT_EQ(has(bare.out, "Warning: " + named), c.stale) << c.what << bare.out;
        const tool_result run = run_tool(dir.path(), {"--monthly", "m.csv", "sites.txt"});
        EXPECT_EQ(run.err, c.stale ? "siteprep: " + named +
                                         " (the file was written again after the fill, as by an "
                                         "import with --force), so its days are not counted as "
                                         "filled; fill the file again, or remove the record\n"
                                   : "")
            << c.what;
        EXPECT_TRUE(has(dir.read("m.csv"), c.stale ? ",26,26,31,5,0," : ",26,26,31,5,3,"))
            << c.what;
        EXPECT_EQ(run_tool(dir.path(), {"sites.txt"}).err, "") << c.what;
    }
}

// An earlier record's rows are kept ahead of the new rows, in CR LF as the
// record is written and tied to the file written now: one saved with LF line
// ends (as pandas writes it), one written before the tie, one of an earlier
// fill of this file. One that is not the target's (the target written again
// since, as by an import with --force) is not kept, and the fill says so.
TEST(Gaps, TheFillKeepsAnEarlierRecordOfItsTarget) {
    const std::string head = "date,quantity,value,method,source,adjustment";
    const std::string row = "2001-01-05,prcp,1.000,donor,old.wth,2";
    const std::string target = daily_file({}, [](const file_day &d) {
        return d.month == 3 && d.day == 2 ? "-99.99 10 1" : "20 10 1";
    });
    const std::string tied = ",daily_crc32\r\n" + row + "," + crc_of(target) + "\r\n";
    const struct {
        const char *what;
        std::string earlier;
        bool kept;
    } cases[] = {
        {"saved with LF", head + "\n" + row + "\n", true},
        {"written before the tie", head + "\r\n" + row + "\r\n", true},
        {"of an earlier fill", head + tied, true},
        {"saved by pandas", head + ",daily_crc32\n" + row + "," + crc_of(target) + "\n", true},
        {"of another file", head + ",daily_crc32\r\n" + row + ",12345\r\n", false}};
    for (const auto &c : cases) {
        scratch_dir dir;
        dir.write("t.wth", target);
        dir.write("t.fill.csv", c.earlier);
        dir.write("donor.wth", daily_file({}, "21 11 1"));
        const tool_result r =
            run_import(dir.path(), {"fill", "t.wth", "--donor", "donor.wth", "--force"});
        ASSERT_EQ(r.status, 0) << c.what << r.err;
        const std::string tie = "," + crc_of(dir.read("t.wth")) + "\r\n";
        EXPECT_EQ(dir.read("t.fill.csv"), head + ",daily_crc32\r\n" +
                                              (c.kept ? row + tie : std::string()) +
                                              "2001-03-02,tmax,20.00,interpolation,," + tie)
            << c.what;
        EXPECT_EQ(has(r.err, "t.fill.csv does not describe t.wth"), !c.kept) << c.what << r.err;
    }
}

} // namespace

namespace {

// A precipitation station's temperatures, copied with no day in common to
// fit a bias on, are shifted 6.5 degrees C/km to its height where its and
// the donor's are known (ghcnd-stations.txt, the stations table), and the
// summary says so, or why not; precipitation is never shifted.
struct height_case {
    const char *what, *options; // g: --ghcn-stations, s: --stations
    const char *donor, *station_elevation, *donor_row_elevation;
    std::string record, said; // a row of the record; a line said after "USC00123456.wth: "
};

void PrintTo(const height_case &c, std::ostream *os) {
    *os << c.what;
}

class FillHeights : public ::testing::TestWithParam<height_case> {};

// A line of ghcnd-stations.txt in NOAA's columns (ID 1-11, LATITUDE 13-20,
// LONGITUDE 22-30, ELEVATION 32-37, STATE 39-40, NAME 42-71).
std::string ghcnd_station(const char *id, const char *elevation) {
    char line[80];
    std::snprintf(line, sizeof line, "%-11s %8s %9s %6s IA SOME PLACE\n", id, "41.9000", "-93.6000",
                  elevation);
    return line;
}

TEST_P(FillHeights, TemperaturesCopiedAreShiftedToTheStationsHeight) {
    const height_case &c = GetParam();
    scratch_dir dir;
    const bool has_tmax = std::string(c.what) == "precipitation_unshifted";
    dir.write("USC00123456.dly", dly(has_tmax ? "TMAX" : "PRCP", 2001, 1, 1, 100));
    dir.write(c.donor, daily_file({.first_year = 2000, .years = 3}, "15.5 3.25 0.2"));
    dir.write("g.txt", ghcnd_station("USC00123456", c.station_elevation) +
                           ghcnd_station("USW00000001", "610.0"));
    dir.write("st.csv", "name,format,latitude,longitude,elevation_m,first_date,last_date,days,"
                        "missing_tmax,missing_tmin,missing_prcp,mean_annual_prcp_cm\r\n"
                        "near,csv,40,-100," +
                            std::string(c.donor_row_elevation) +
                            ",2000-01-01,2002-12-31,1096,0,0,0,73.05\r\n");
    std::vector<std::string> args = {"ghcn", "--fill-from", c.donor, "USC00123456.dly"};
    if (has(c.options, "g"))
        args.insert(args.end(), {"--ghcn-stations", "g.txt"});
    if (has(c.options, "s"))
        args.insert(args.end(), {"--stations", "st.csv"});
    const tool_result r = run_import(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "\nUSC00123456.wth: " + c.said + "\n")) << r.out;
    EXPECT_TRUE(has(dir.read("USC00123456.fill.csv"), "\r\n" + c.record + ","))
        << dir.read("USC00123456.fill.csv").substr(0, 300);
}

const std::string near = " from near.wth, with no day in common to fit a bias on, ";
const std::string copied = "tmax and tmin" + near, unknown = copied + "unadjusted: ";
const std::string lapse = "degrees C for the heights (6.5 degrees C/km: 450 m here, ";

INSTANTIATE_TEST_SUITE_P(
    Gaps, FillHeights,
    ::testing::Values(
        // 300 m above the donor: 1.95 degrees colder.
        height_case{"above", "gs", "near.wth", "450.0", "150",
                    "2001-01-01,tmax,13.55,donor-lapse,near.wth,-1.95",
                    copied + "shifted by -1.95 " + lapse + "150 m at near.wth)"},
        // The same height: a shift of 0, not -0.
        height_case{"level", "gs", "near.wth", "450.0", "450",
                    "2001-12-31,tmin,3.25,donor-lapse,near.wth,0",
                    copied + "shifted by 0 " + lapse + "450 m at near.wth)"},
        // A GHCN donor, named by its ID: its height from ghcnd-stations.txt.
        height_case{"ghcn_donor", "g", "USW00000001.wth", "450.0", "NA",
                    "2001-01-01,tmax,16.54,donor-lapse,USW00000001.wth,1.04",
                    "tmax and tmin from USW00000001.wth, with no day in common to fit a bias on, "
                    "shifted by 1.04 " +
                        lapse + "610 m at USW00000001.wth)"},
        // A station whose TMAX is known: its precipitation copied as it is.
        height_case{"precipitation_unshifted", "gs", "near.wth", "450.0", "150",
                    "2001-01-02,prcp,0.200,donor-unadjusted,near.wth,0",
                    "tmin" + near + "shifted by -1.95 " + lapse + "150 m at near.wth)"},
        // Unknown heights: copied as they are, and why.
        height_case{"no_ghcn_stations", "s", "near.wth", "450.0", "150",
                    "2001-01-01,tmax,15.50,donor-unadjusted,near.wth,0",
                    unknown + "the station's elevation is not known (--ghcn-stations gives it)"},
        height_case{"station_missing_elevation", "gs", "near.wth", "-999.9", "150",
                    "2001-01-01,tmin,3.25,donor-unadjusted,near.wth,0",
                    unknown + "the station's elevation is not known (none in the "
                              "--ghcn-stations file)"},
        height_case{"no_stations_table", "g", "near.wth", "450.0", "150",
                    "2001-01-01,tmax,15.50,donor-unadjusted,near.wth,0",
                    unknown + "the elevation of near.wth is not known (give --stations with "
                              "its row)"},
        height_case{"donor_row_na", "gs", "near.wth", "450.0", "NA",
                    "2001-01-01,tmax,15.50,donor-unadjusted,near.wth,0",
                    unknown + "the elevation of near.wth is not known (no elevation_m of "
                              "near in st.csv)"}),
    [](const ::testing::TestParamInfo<height_case> &i) { return std::string(i.param.what); });

} // namespace
