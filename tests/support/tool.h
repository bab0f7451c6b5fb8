// Runs the built siteprep binary in a scratch directory and reads back what
// it wrote.
#pragma once

#include <string>
#include <vector>

struct tool_result {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class scratch_dir {
  public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir &) = delete;
    scratch_dir &operator=(const scratch_dir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    void write(const std::string &name, const std::string &content) const;
    std::string read(const std::string &name) const;
    bool exists(const std::string &name) const;
    // Every regular file below the directory with its content, by relative path.
    std::vector<std::pair<std::string, std::string>> snapshot() const;

  private:
    std::string path_;
};

// Runs siteprep with args in dir. A file_size_limit >= 0 is set as
// RLIMIT_FSIZE in the child, with SIGXFSZ ignored, so writes past it fail.
// With unprivileged, a run by root drops to the user nobody first. With
// no_new_threads, RLIMIT_NPROC of 1 leaves the tool no thread to create
// (root ignores it: use it with unprivileged).
tool_result run_tool(const std::string &dir, const std::vector<std::string> &args,
                     long file_size_limit = -1, bool unprivileged = false,
                     bool no_new_threads = false);

// How a run is started: the limits and settings above, and more.
struct run_setup {
    long file_size_limit = -1;
    bool unprivileged = false;
    bool no_new_threads = false;
    long open_files = -1;      // RLIMIT_NOFILE, when >= 0
    long memory_bytes = -1;    // RLIMIT_AS, when >= 0
    bool close_stdout = false; // started with descriptor 1 closed
    std::string program;       // another program than siteprep (siteprep-import)
};
// With inject, under strace, which injects that fault into a system call
// ("flock:signal=SIGTERM:when=2": SIGTERM at the second flock); skip such
// a test where strace is not installed.
tool_result run_tool(const std::string &dir, const std::vector<std::string> &args,
                     const run_setup &setup, const std::string &inject = std::string());
bool strace_installed();

// True in a sanitizer build, whose shadow memory no address-space limit
// leaves room for.
bool sanitized_build();

// For tests of file permissions, which root does not feel: when running as
// root, hands the directory to the user nobody and says whether that user
// can run the tool (false: skip the test). Without root, true at once.
// Call it before taking permissions away; then run with unprivileged.
bool hand_to_unprivileged_user(const scratch_dir &dir);

// A check's output without the audit's warnings and summaries, and its last
// line without the count of warnings: what the check says of problems.
std::string without_audit(const std::string &out);

// A daily weather file of one year (2001), three days a month, each with
// the values (Tmax Tmin precipitation) given.
std::string year_of_days(const char *values);

// The site parameter file layout: two header lines, a 60-line weather
// block, then the given tail lines.
std::string site_file_with_tail(const std::string &tail);
