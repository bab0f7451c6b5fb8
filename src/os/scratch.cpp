// The scratch file: unnamed where the file system makes such files, else
// named and removed at once.
#include "scratch.h"
#include "overwrite.h"
#include "sys.h"

#include <cerrno>
#include <fcntl.h>

namespace os {

result<os::fd> open_scratch(const std::string &dir) {
    if (dir.find('\0') != std::string::npos)
        return sys_error{EINVAL, "open", dir};
    int descriptor = sys::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        std::string temp = dir + "/.siteprep-scratch-XXXXXX";
        descriptor = sys::mkostemp(temp.data(), O_CLOEXEC);
        if (descriptor >= 0 && sys::unlink(temp.c_str()) != 0) {
            const sys_error failed = error_now("unlink", temp);
            sys::close(descriptor);
            return failed;
        }
    }
    if (descriptor < 0)
        return error_now("open", dir);
    return os::fd(descriptor, dir);
}

result<void> write_at(const os::fd &file, std::string_view data, off_t at) {
    if (const int err = write_all(file.get(), data, at); err != 0)
        return sys_error{err, "write", file.path()};
    return {};
}

result<void> read_at(const os::fd &file, char *into, size_t size, off_t at) {
    for (size_t done = 0; done < size;) {
        const ssize_t n =
            sys::pread(file.get(), into + done, size - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return error_now("read", file.path());
        if (n == 0)
            return sys_error{EIO, "read", file.path()};
        done += static_cast<size_t>(n);
    }
    return {};
}

} // namespace os
