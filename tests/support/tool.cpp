#include "tool.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

scratch_dir::scratch_dir() {
    std::string pattern = (fs::temp_directory_path() / "siteprep-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

scratch_dir::~scratch_dir() {
    std::error_code ec;
    // Tests may take permissions away; give them back so removal works.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

void scratch_dir::write(const std::string &name, const std::string &content) const {
    fs::path p = fs::path(path_) / name;
    fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << content;
    if (!f.good())
        throw std::runtime_error("cannot write " + p.string());
}

std::string file_content(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return "<missing>";
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string scratch_dir::read(const std::string &name) const {
    return file_content((fs::path(path_) / name).string());
}

bool scratch_dir::exists(const std::string &name) const {
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::path(path_) / name, ec));
}

std::vector<std::pair<std::string, std::string>> scratch_dir::snapshot() const {
    return snapshot_of(path_);
}

std::vector<std::pair<std::string, std::string>> snapshot_of(const std::string &path) {
    std::vector<std::pair<std::string, std::string>> files;
    for (auto &entry : fs::recursive_directory_iterator(path)) {
        std::string rel = fs::relative(entry.path(), path).string();
        if (entry.is_symlink())
            files.emplace_back(rel, "-> " + fs::read_symlink(entry.path()).string());
        else if (entry.is_regular_file())
            files.emplace_back(rel, file_content(entry.path().string()));
        else
            files.emplace_back(rel, "<dir>");
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Reads both pipes to their end without letting either fill up.
static void drain(int out_fd, int err_fd, std::string &out, std::string &err) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string *sinks[2] = {&out, &err};
    int open_count = 2;
    char buf[4096];
    while (open_count > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}

// The user nobody of Debian and most Unix systems.
constexpr uid_t nobody = 65534;

bool hand_to_unprivileged_user(const scratch_dir &dir) {
    if (geteuid() != 0)
        return true;
    // The tool and every directory above it must be open to others.
    for (fs::path p = fs::absolute(SITEPREP_BIN); !p.empty(); p = p.parent_path()) {
        struct stat st;
        if (stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0)
            return false;
        if (p == p.root_path())
            break;
    }
    for (auto &entry : fs::recursive_directory_iterator(dir.path()))
        if (lchown(entry.path().c_str(), nobody, nobody) != 0)
            return false;
    return lchown(dir.path().c_str(), nobody, nobody) == 0;
}

// The faults as SITEPREP_FAULTS gives them, one a line.
static std::string fault_lines(const std::vector<seam_fault> &faults) {
    std::string lines;
    for (const seam_fault &f : faults)
        lines += f.call + ":" + std::to_string(f.nth) + ":" + std::to_string(f.times) + ":" +
                 std::to_string(f.err) + ":" + std::to_string(f.signal) + ":" + f.file + "\n";
    return lines;
}

std::string seam_faults_setting(const std::vector<seam_fault> &faults) {
    return "SITEPREP_FAULTS='" + fault_lines(faults) + "'";
}

bool sanitized_build() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

static void set_limit(int resource, long value) {
    if (value >= 0) {
        rlimit lim{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
        setrlimit(resource, &lim);
    }
}

tool_result run_tool(const std::string &dir, const std::vector<std::string> &args,
                     const run_setup &setup) {
    const long file_size_limit = setup.file_size_limit;
    const bool unprivileged = setup.unprivileged, no_new_threads = setup.no_new_threads;
    // Everything the child needs is made before the fork: a test that runs
    // the tool from two threads at once must not allocate in a child that
    // may have inherited another thread's allocator lock.
    const bool seam = !setup.faults.empty() || !setup.trace.empty();
    const bool importer = setup.program == SITEPREP_IMPORT_BIN;
    std::string bin = seam && importer        ? SITEPREP_IMPORT_FAULTY_BIN
                      : seam                  ? SITEPREP_FAULTY_BIN
                      : setup.program.empty() ? SITEPREP_BIN
                                              : setup.program;
    std::vector<std::string> copies(args);
    std::vector<char *> argv;
    argv.push_back(bin.data());
    for (auto &a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // A sanitizer build's leak check needs a thread of its own at exit.
    const bool no_leak_check = no_new_threads;
    std::vector<std::string> env_text;
    for (char **e = environ; *e != nullptr; ++e)
        if (!no_leak_check || std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0)
            env_text.emplace_back(*e);
    if (!setup.faults.empty())
        env_text.push_back("SITEPREP_FAULTS=" + fault_lines(setup.faults));
    if (!setup.trace.empty())
        env_text.push_back("SITEPREP_TRACE=" + setup.trace);
    if (no_leak_check) {
        const char *asan = std::getenv("ASAN_OPTIONS");
        env_text.push_back(std::string("ASAN_OPTIONS=") +
                           (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : "") +
                           "detect_leaks=0");
    }
    std::vector<char *> envp;
    for (auto &e : env_text)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(out_pipe[1]);
        close(err_pipe[0]);
        close(err_pipe[1]);
        if (unprivileged && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0))
            _exit(126);
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        if (no_new_threads) {
            rlimit one{1, 1};
            setrlimit(RLIMIT_NPROC, &one);
        }
        if (file_size_limit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            set_limit(RLIMIT_FSIZE, file_size_limit);
        }
        // The tool starts with the three standard descriptors alone, as
        // from a shell, whatever the test process holds open.
        for (int fd = 3; fd < 1024; ++fd)
            close(fd);
        set_limit(RLIMIT_NOFILE, setup.open_files);
        set_limit(RLIMIT_AS, setup.memory_bytes);
        if (setup.close_stdout)
            close(1);
        execve(bin.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    tool_result result;
    drain(out_pipe[0], err_pipe[0], result.out, result.err);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return result;
}

tool_result run_import(const std::string &dir, const std::vector<std::string> &args) {
    return run_tool(dir, args, {.program = SITEPREP_IMPORT_BIN});
}

int run_shell(const scratch_dir &dir, const std::string &command) {
    const int status = std::system(("cd '" + dir.path() + "' && " + command).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool chromium_installed() {
    return std::system("command -v chromium >/dev/null 2>&1") == 0;
}

int run_chromium(const scratch_dir &dir, const std::string &page, const std::string &action,
                 const std::string &out, const std::string &log) {
    return run_shell(dir, "HOME=$PWD timeout 60 chromium --headless --no-sandbox --disable-gpu "
                          "--hide-scrollbars --window-size=1000,1400 --enable-logging=stderr " +
                              action + " 'file://" + dir.path() + "/" + page + "' > " + out +
                              " 2> " + log);
}

std::string netcdf4_python() {
    // The system's own interpreter first: Debian's python3-netcdf4 is for
    // it, and another python3 may come first on PATH.
    for (const char *python : {"/usr/bin/python3", "python3"}) {
        const std::string probe = std::string(python) + " -c 'import netCDF4' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0)
            return python;
    }
    return {};
}

std::string without_audit(const std::string &out) {
    std::string kept;
    for (size_t start = 0; start < out.size();) {
        size_t end = out.find('\n', start);
        end = end == std::string::npos ? out.size() : end + 1;
        std::string line = out.substr(start, end - start);
        start = end;
        const bool warning = line.rfind("Warning: ", 0) == 0;
        const std::string rest = warning ? line.substr(9) : line;
        const std::string head = rest.substr(0, rest.find(": "));
        const bool audit_warning = warning && (head.find(".sfp") != std::string::npos ||
                                               head.find(".wth") != std::string::npos);
        const bool audit_summary = line.find(" finding") != std::string::npos && head.size() > 4 &&
                                   head.substr(head.size() - 4) == ".wth";
        if (audit_warning || audit_summary)
            continue;
        for (const char *counted : {" problems, ", " problem, "})
            if (const size_t w = line.find(counted); w != std::string::npos) {
                line =
                    line.substr(0, w) + std::string(counted).substr(0, strlen(counted) - 2) + "\n";
                break;
            }
        kept += line;
    }
    return kept;
}
