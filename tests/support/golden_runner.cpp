// Runs every case of tests/golden (see tests/golden/README.md): its command
// line on a copy of its batch, then standard output, standard error, the
// exit status and every file left against what the case expects.
#include "tool.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace fs = std::filesystem;

namespace {

const fs::path cases_dir = SITEPREP_GOLDEN;

std::vector<std::string> case_names() {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(cases_dir))
        if (entry.is_directory())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The arguments of a command line, one a line.
std::vector<std::string> arguments(const std::string &text) {
    std::vector<std::string> args;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        args.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return args;
}

// The files a run must leave: its batch as it was, with the files it
// writes as expected/ holds them.
std::map<std::string, std::string> files_expected(const fs::path &c, const std::string &batch) {
    const auto before = snapshot_of(batch);
    std::map<std::string, std::string> files(before.begin(), before.end());
    if (fs::exists(c / "expected"))
        for (const auto &[name, content] : snapshot_of((c / "expected").string()))
            files[name] = content;
    return files;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, Run) {
    const fs::path c = cases_dir / GetParam();
    scratch_dir dir;
    if (fs::exists(c / "in"))
        fs::copy(c / "in", dir.path(),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    const auto expected = files_expected(c, dir.path());
    const tool_result r = run_tool(dir.path(), arguments(file_content((c / "args").string())));
    // out.problems in place of out: what the check says of problems, its
    // audit's warnings left out.
    if (fs::exists(c / "out.problems"))
        EXPECT_EQ(without_audit(r.out), file_content((c / "out.problems").string()));
    else
        EXPECT_EQ(r.out, file_content((c / "out").string()));
    EXPECT_EQ(r.err, file_content((c / "err").string()));
    EXPECT_EQ(std::to_string(r.status) + "\n", file_content((c / "status").string()));
    const auto left = snapshot_of(dir.path());
    std::map<std::string, std::string> files(left.begin(), left.end());
    for (const auto &[name, content] : expected) {
        const auto found = files.find(name);
        EXPECT_TRUE(found != files.end() && found->second == content)
            << name << (found == files.end() ? " is gone" : " differs:\n" + found->second);
    }
    for (const auto &[name, content] : files)
        EXPECT_TRUE(expected.count(name)) << name << " was left";
}

INSTANTIATE_TEST_SUITE_P(Dir, Golden, ::testing::ValuesIn(case_names()),
                         [](const ::testing::TestParamInfo<std::string> &c) { return c.param; });

} // namespace
