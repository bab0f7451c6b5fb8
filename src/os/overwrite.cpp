// Writing a descriptor: all of a text, or a file over in place.
#include "overwrite.h"
#include "sys.h"

#include <cerrno>

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
    if (const int err = write_all(file.get(), text, 0); err != 0)
        return sys_error{err, "write", file.path()};
    // The old content past the new end goes only now.
    if (known_size > text.size() &&
        sys::ftruncate(file.get(), static_cast<off_t>(text.size())) != 0)
        return error_now("ftruncate", file.path());
    if (sync && sys::fsync(file.get()) != 0)
        return error_now("fsync", file.path());
    return {};
}

} // namespace os
