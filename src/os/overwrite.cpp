// Writing a descriptor: all of a text, or a file over in place.
#include "overwrite.h"
#include "sys.h"

#include <cerrno>

namespace {

// What writing a file over does: the write, the cut, the sync; 0 or the
// errno of the failure, and the call in op.
int write_over_at_start(int fd, std::string_view text, bool sync, size_t known_size,
                        const char *&op) {
    op = "write";
    if (const int err = os::write_all(fd, text, 0); err != 0)
        return err;
    // The old content past the new end goes only now.
    op = "ftruncate";
    if (known_size > text.size() && os::sys::ftruncate(fd, static_cast<off_t>(text.size())) != 0)
        return errno;
    op = "fsync";
    return sync && os::sys::fsync(fd) != 0 ? errno : 0;
}

} // namespace

namespace os {

int write_all(int fd, std::string_view text, off_t at) {
    for (size_t done = 0; done < text.size();) {
        const char *from = text.data() + done;
        const size_t size = text.size() - done;
        const ssize_t n = at < 0 ? sys::write(fd, from, size)
                                 : sys::pwrite(fd, from, size, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

result<void> write_over(const os::fd &file, std::string_view text, bool sync, size_t known_size) {
    const char *op = "";
    if (const int err = write_over_at_start(file.get(), text, sync, known_size, op); err != 0)
        return sys_error{err, op, file.path()};
    return {};
}

} // namespace os

int write_over_fd(int fd, std::string_view text, bool sync, size_t known_size) {
    const char *op = "";
    return write_over_at_start(fd, text, sync, known_size, op);
}
