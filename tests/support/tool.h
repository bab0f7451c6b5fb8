// Runs the built programs, siteprep and siteprep-import, in a scratch
// directory and reads back what they wrote: the tests' one way to start them.
#pragma once

#include <string>
#include <utility>
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
    // Every file below the directory by relative path: a regular file with
    // its content, a link as "-> target", a directory as "<dir>".
    std::vector<std::pair<std::string, std::string>> snapshot() const;

  private:
    std::string path_;
};

// A file's whole content, or "<missing>".
std::string file_content(const std::string &path);
// Every file below a directory, as scratch_dir::snapshot gives them.
std::vector<std::pair<std::string, std::string>> snapshot_of(const std::string &path);

// A failure of the system's calls that a run meets, planned in the seam of
// siteprep_with_faults (the test build of siteprep): from the nth call of
// a function on (counted on the file named, when one is), times calls fail
// with err, or are made with signal sent to the process as they start.
struct seam_fault {
    std::string call; // "unlink", "pwrite", "flock", ...
    std::string file; // only calls on a file whose name starts so; empty: all
    long nth = 1, times = 1;
    int err = 0, signal = 0;
};

// The setting of the environment that plans faults in
// siteprep_with_faults: SITEPREP_FAULTS='...'.
std::string seam_faults_setting(const std::vector<seam_fault> &faults);

// How a run is started, each setting named where a test asks for it:
// run_tool(dir, args, {.file_size_limit = 2200}).
struct run_setup {
    std::string program;       // another program than siteprep (siteprep-import)
    long file_size_limit = -1; // RLIMIT_FSIZE when >= 0, SIGXFSZ ignored: writes past it fail
    bool unprivileged = false; // a run by root drops to the user nobody first
    // RLIMIT_NPROC of 1 leaves the tool no thread to create (root ignores
    // it: use it with unprivileged).
    bool no_new_threads = false;
    long open_files = -1;      // RLIMIT_NOFILE, when >= 0
    long memory_bytes = -1;    // RLIMIT_AS, when >= 0
    bool close_stdout = false; // started with descriptor 1 closed
    // Run as siteprep_with_faults (siteprep_import_with_faults for the
    // importer), which meets these failures, and writes the calls it made
    // into trace (one a line: "fsync /tmp/d/plot.sfp") when one is named.
    std::vector<seam_fault> faults;
    std::string trace;
};

// Runs siteprep (or setup.program) with args in dir.
tool_result run_tool(const std::string &dir, const std::vector<std::string> &args,
                     const run_setup &setup = {});
// Runs siteprep-import with args in dir.
tool_result run_import(const std::string &dir, const std::vector<std::string> &args);
// Whether headless Chromium is installed; and a page in dir opened in it
// (page: its name, with any #fragment) with what it should do (--dump-dom,
// --screenshot=FILE), its output into out, its messages into log; the
// status. Its profile goes in dir: a user without a home can run it too.
bool chromium_installed();
int run_chromium(const scratch_dir &dir, const std::string &page, const std::string &action,
                 const std::string &out = "/dev/null", const std::string &log = "/dev/null");
// Runs a shell command in dir; its exit status, or 128 + signal.
int run_shell(const scratch_dir &dir, const std::string &command);

// A Python interpreter that has netCDF4-python, the reference reading of
// netCDF files; empty when none is installed (the tests then keep to their
// hand values).
std::string netcdf4_python();

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
