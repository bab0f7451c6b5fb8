// Writing a file over in place, from its start.
#include "overwrite.h"

#include <cerrno>
#include <unistd.h>

int write_over_fd(int fd, std::string_view text, bool sync, size_t known_size) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n =
            pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    // The old content past the new end goes only now.
    if (known_size > text.size() && ftruncate(fd, static_cast<off_t>(text.size())) != 0)
        return errno;
    return sync && fsync(fd) != 0 ? errno : 0;
}
