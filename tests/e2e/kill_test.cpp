// Kills a many-site run at random moments, with SIGKILL or with an interrupt
// (SIGTERM, SIGINT), and checks after each kill that no site file was lost: each is whole (as
// before the run, after its site keys, or rewritten), or the run died mid-rewrite and XXXX.sfp
// holds the file's previous content, in which case the next run refuses to
// start and changes nothing. The run's --failed file names every site not
// rewritten whole.
//
// usage: kill_test [KILLS [SEED]]   (CI runs a few dozen; by hand, thousands)
#include "data.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t site_count = 30;

std::string site_name(size_t i) {
    return "site" + std::to_string(i);
}

std::string site_line(size_t i) {
    return site_name(i) + " " + std::to_string(30 + i) + ".5 -100.25 0.4 0.4 0.2 1.3 0.5 " +
           std::to_string(i % 11) + " " + std::to_string(100 * i) + "\n";
}

void write_batch(const scratch_dir &dir) {
    std::string list;
    for (size_t i = 0; i < site_count; ++i) {
        list += site_line(i);
        std::string tail = "1 SITLAT\n2 SITLNG\n3 NLAYER\n4 NLAYPG\n5 ELEV\n";
        for (size_t k = 0; k < 10 * (i % 5); ++k)
            tail += "0.25 'OTHER(" + std::to_string(k) + ")'\n";
        dir.write(site_name(i) + ".sfp", site_file(tail));
        dir.write(site_name(i) + ".wth",
                  daily_file({.first_year = 2000, .years = 3, .days_a_month = 28},
                             [i = static_cast<int>(i)](const file_day &d) {
                                 return std::to_string((d.month * 7 + d.day + i) % 30) + ".5 " +
                                        std::to_string((d.month * 3 + d.day) % 10 - 5) + ".25 " +
                                        std::to_string((d.day * i + d.month) % 7) + ".1";
                             }));
    }
    dir.write("sites.txt", list);
}

struct states {
    std::string original, keyed, final;
};

// The whole states of every site file, from runs that are not killed.
std::vector<states> batch_states() {
    std::vector<states> all(site_count);
    scratch_dir dir;
    write_batch(dir);
    for (size_t i = 0; i < site_count; ++i)
        all[i].original = dir.read(site_name(i) + ".sfp");
    for (size_t i = 0; i < site_count; ++i) {
        scratch_dir one;
        one.write("sites.txt", site_line(i));
        one.write(site_name(i) + ".sfp", all[i].original);
        run_tool(one.path(), {"sites.txt"}); // no daily file: stops after the keys
        all[i].keyed = one.read(site_name(i) + ".sfp");
    }
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    if (r.status != 0) {
        std::fprintf(stderr, "the unkilled run failed: %s\n", r.out.c_str());
        std::exit(2);
    }
    for (size_t i = 0; i < site_count; ++i)
        all[i].final = dir.read(site_name(i) + ".sfp");
    return all;
}

// Starts the tool in dir and sends it sig after the given delay; its wait
// status.
int run_and_kill(const std::string &dir, std::chrono::microseconds delay, int sig) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0 || !std::freopen("/dev/null", "w", stdout))
            _exit(127);
        execl(SITEPREP_BIN, "siteprep", "--failed", "failed.txt", "sites.txt",
              static_cast<char *>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(delay);
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

// Whether the failure list names every site whose file is not rewritten
// whole; with no list, whether the run touched no site file.
bool lists_every_site_left(const scratch_dir &dir, const std::vector<states> &all) {
    const bool listed = dir.exists("failed.txt");
    const std::string failed = "\n" + dir.read("failed.txt");
    for (size_t i = 0; i < site_count; ++i) {
        const std::string now = dir.read(site_name(i) + ".sfp");
        const bool named = failed.find("\n" + site_line(i)) != std::string::npos;
        if (listed ? now != all[i].final && !named : now != all[i].original)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    const int kills = argc > 1 ? std::atoi(argv[1]) : 50;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 20261207u;
    const std::vector<states> all = batch_states();

    // How long a whole run takes, to spread the kills over it.
    auto start = std::chrono::steady_clock::now();
    {
        scratch_dir dir;
        write_batch(dir);
        run_tool(dir.path(), {"sites.txt"});
    }
    const auto run_time = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);

    std::mt19937 random(seed);
    std::uniform_int_distribution<long> delay_us(0, run_time.count());
    // Half the kills are interrupts, which a rewrite defers: the run must
    // then end between two rewrites, by that signal, with no copy left.
    const int signals[] = {SIGKILL, SIGKILL, SIGTERM, SIGINT};
    std::uniform_int_distribution<int> pick(0, 3);
    int tried = 0, mid_run = 0, mid_rewrite = 0, interrupted = 0, lost = 0;
    for (int k = 0; k < kills; ++k) {
        scratch_dir dir;
        write_batch(dir);
        const int sig = signals[pick(random)];
        const int status =
            run_and_kill(dir.path(), std::chrono::microseconds(delay_us(random)), sig);
        const bool killed = WIFSIGNALED(status);
        ++tried;
        mid_run += killed;
        if (!lists_every_site_left(dir, all)) {
            ++lost;
            std::fprintf(stderr, "kill %d: signal %d: failed.txt leaves out a site: %s\n", k, sig,
                         dir.read("failed.txt").c_str());
        }
        if (sig != SIGKILL) {
            interrupted += killed;
            const bool ended_well = (killed && WTERMSIG(status) == sig) ||
                                    (WIFEXITED(status) && WEXITSTATUS(status) == 0);
            bool whole = !dir.exists("XXXX.sfp");
            for (size_t i = 0; i < site_count; ++i) {
                const std::string now = dir.read(site_name(i) + ".sfp");
                whole =
                    whole && (now == all[i].original || now == all[i].keyed || now == all[i].final);
            }
            if (!ended_well || !whole) {
                ++lost;
                std::fprintf(stderr, "kill %d: signal %d ended the run mid-rewrite (status %d)\n",
                             k, sig, status);
            }
            continue;
        }
        const bool copy_left = dir.exists("XXXX.sfp");
        const std::string copy = copy_left ? dir.read("XXXX.sfp") : "";
        int partial = 0;
        for (size_t i = 0; i < site_count; ++i) {
            const std::string now = dir.read(site_name(i) + ".sfp");
            const states &s = all[i];
            if (now == s.original || now == s.keyed || now == s.final)
                continue;
            ++partial;
            // Killed while writing this file: the copy must hold what it had.
            if (!(copy_left && (copy == s.original || copy == s.keyed))) {
                ++lost;
                std::fprintf(stderr, "kill %d: %s lost\n", k, site_name(i).c_str());
            }
        }
        if (partial > 1) {
            ++lost;
            std::fprintf(stderr, "kill %d: %d files half-written\n", k, partial);
        }
        if (copy_left) {
            ++mid_rewrite;
            // The next run must refuse and touch nothing.
            auto before = dir.snapshot();
            tool_result again = run_tool(dir.path(), {"sites.txt"});
            if (again.status != 1 || again.out.find("XXXX.sfp already exists") != 0 ||
                dir.snapshot() != before) {
                ++lost;
                std::fprintf(stderr, "kill %d: the next run did not refuse: %s\n", k,
                             again.out.c_str());
            }
        }
    }
    std::printf("kills tried: %d (%d during the run, %d of them interrupts; %d left XXXX.sfp), "
                "files lost: %d\n",
                tried, mid_run, interrupted, mid_rewrite, lost);
    return lost == 0 ? 0 : 1;
}
