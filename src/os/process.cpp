// What the process may use and where its output goes.
#include "process.h"
#include "sys.h"

#include <fcntl.h>
#include <sys/resource.h>

namespace os {

long descriptor_limit() {
    rlimit limit;
    if (os::sys::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    return static_cast<long>(limit.rlim_cur);
}

long descriptors_in_use(long limit) {
    long in_use = 0;
    for (int fd = 0; fd < static_cast<int>(limit); ++fd)
        in_use += os::sys::fcntl(fd, F_GETFD) != -1;
    return in_use;
}

bool is_terminal(int fd) {
    return os::sys::isatty(fd) == 1;
}

std::string process_tag() {
    char host[256] = "";
    os::sys::gethostname(host, sizeof host - 1);
    return std::string(host) + "-" + std::to_string(static_cast<long>(os::sys::getpid()));
}

} // namespace os
