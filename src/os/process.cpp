// What the process may use and where its output goes.
#include "process.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

int usable_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return CPU_COUNT(&set);
}

long descriptor_limit() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    return static_cast<long>(limit.rlim_cur);
}

long descriptors_in_use(long limit) {
    long in_use = 0;
    for (int fd = 0; fd < static_cast<int>(limit); ++fd)
        in_use += fcntl(fd, F_GETFD) != -1;
    return in_use;
}

bool is_terminal(int fd) {
    return isatty(fd) == 1;
}
