// Site files made from the --template file.
#include "site_template.h"
#include "file_paths.h"
#include "lines.h"
#include "open.h"
#include "read_text.h"
#include "shown.h"
#include "write_whole.h"

#include <cerrno>
#include <cstring>

bool site_file_missing(const std::string &path) {
    const os::result<struct stat> st = os::link_status_of(path);
    return !st && st.err() == ENOENT;
}

failure read_template(site_template &t) {
    const std::string shown = shown_name(t.path);
    os::result<os::regular_file> opened = os::open_regular(t.path);
    if (!opened)
        return failed_with(
            format_message(template_read_message, shown.c_str(), opened.error().reason().c_str()));
    long long_line = 0;
    if (const os::result<void> read =
            os::read_text(opened->file, t.text, os::max_text_line, long_line);
        !read)
        return failed_with(long_line > 0 ? long_site_line(t.path, long_line)
                                         : format_message(template_read_message, shown.c_str(),
                                                          read.error().reason().c_str()));
    return failure();
}

failure make_from_template(const std::string &site_file, const site_template &t, bool sync,
                           bool &made) {
    made = false;
    const os::result<bool> written = os::write_new_file(
        site_file, site_file + ".", [&t](os::out_stream &out) { return out.put(t.text), 0; }, sync);
    failure f;
    if (!written)
        f.message = format_message(template_failed_message, shown_name(site_file).c_str(),
                                   shown_name(t.path).c_str(), written.error().reason().c_str());
    else
        made = written.value();
    return f;
}
