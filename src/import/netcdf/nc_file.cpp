// The netCDF C library's calls, each checked, for reading.
#include "nc_file.h"
#include "shown.h"

#include <algorithm>
#include <cstring>
#include <netcdf.h>

namespace import::nc {

file::~file() {
    if (id_ >= 0)
        nc_close(id_);
}

file &file::operator=(file &&other) noexcept {
    if (this != &other) {
        if (id_ >= 0)
            nc_close(id_);
        id_ = other.id_;
        path_ = std::move(other.path_);
        other.id_ = -1;
    }
    return *this;
}

failure file::open_path(const std::string &path) {
    if (id_ >= 0)
        nc_close(id_);
    id_ = -1;
    path_ = path;
    int id = -1;
    if (const int status = nc_open(path.c_str(), NC_NOWRITE, &id); status != NC_NOERR)
        return {failed(status, "cannot be read as a netCDF file")};
    id_ = id;
    return {};
}

failure file::close_file() {
    if (id_ < 0)
        return {};
    const int status = nc_close(id_);
    id_ = -1;
    if (status != NC_NOERR)
        return {failed(status, "closing it failed")};
    return {};
}

std::string file::failed(int status, const std::string &what) const {
    return shown_name(path_) + ": " + what + ": " + nc_strerror(status);
}

bool find_variable(const file &f, const std::string &name, variable &v, std::string &why) {
    why.clear();
    int id = -1;
    int status = nc_inq_varid(f.id(), name.c_str(), &id);
    if (status == NC_ENOTVAR)
        return false;
    nc_type type = 0;
    int rank = 0;
    if (status == NC_NOERR)
        status = nc_inq_var(f.id(), id, nullptr, &type, &rank, nullptr, nullptr);
    std::vector<int> dims(static_cast<size_t>(rank));
    if (status == NC_NOERR)
        status = nc_inq_vardimid(f.id(), id, dims.data());
    if (status != NC_NOERR) {
        why = f.failed(status, "the variable " + quote_token(name));
        return false;
    }
    v = {id, name, type, std::move(dims)};
    return true;
}

failure dimension_of(const file &f, int dim, dimension &d) {
    char name[NC_MAX_NAME + 1] = {};
    size_t length = 0;
    if (const int status = nc_inq_dim(f.id(), dim, name, &length); status != NC_NOERR)
        return {f.failed(status, "a dimension")};
    d = {name, length};
    return {};
}

namespace {

// An attribute's type and length; false when absent (why empty).
bool attribute_of(const file &f, int varid, const char *name, nc_type &type, size_t &length,
                  std::string &why) {
    why.clear();
    const int status = nc_inq_att(f.id(), varid, name, &type, &length);
    if (status == NC_ENOTATT)
        return false;
    if (status != NC_NOERR) {
        why = f.failed(status, std::string("the attribute ") + name);
        return false;
    }
    return true;
}

} // namespace

bool text_attribute(const file &f, int varid, const char *name, std::string &value,
                    std::string &why) {
    nc_type type = 0;
    size_t length = 0;
    if (!attribute_of(f, varid, name, type, length, why))
        return false;
    int status = NC_NOERR;
    if (type == NC_CHAR) {
        value.assign(length, '\0');
        status = nc_get_att_text(f.id(), varid, name, value.data());
        value.resize(value.find('\0') == std::string::npos ? length : value.find('\0'));
    } else if (type == NC_STRING && length >= 1) {
        std::vector<char *> strings(length, nullptr);
        status = nc_get_att_string(f.id(), varid, name, strings.data());
        if (status == NC_NOERR) {
            value = strings[0] != nullptr ? strings[0] : "";
            nc_free_string(length, strings.data());
        }
    } else {
        why = f.failed(NC_ECHAR, std::string("the attribute ") + name + " is not text");
        return false;
    }
    if (status != NC_NOERR) {
        why = f.failed(status, std::string("the attribute ") + name);
        return false;
    }
    return true;
}

bool number_attribute(const file &f, int varid, const char *name, std::vector<double> &values,
                      int &type, std::string &why) {
    nc_type t = 0;
    size_t length = 0;
    if (!attribute_of(f, varid, name, t, length, why))
        return false;
    if (number_size(t) == 0 || length == 0) {
        why = f.failed(NC_EBADTYPE, std::string("the attribute ") + name + " is not a number");
        return false;
    }
    values.assign(length, 0.0);
    if (const int status = nc_get_att_double(f.id(), varid, name, values.data());
        status != NC_NOERR) {
        why = f.failed(status, std::string("the attribute ") + name);
        return false;
    }
    type = t;
    return true;
}

namespace {

template <class T> double load_as(const unsigned char *values, size_t index) {
    T value;
    std::memcpy(&value, values + index * sizeof(T), sizeof(T));
    return static_cast<double>(value);
}

} // namespace

loader loader_of(int type) {
    switch (type) {
    case NC_BYTE:
        return load_as<signed char>;
    case NC_UBYTE:
        return load_as<unsigned char>;
    case NC_SHORT:
        return load_as<short>;
    case NC_USHORT:
        return load_as<unsigned short>;
    case NC_INT:
        return load_as<int>;
    case NC_UINT:
        return load_as<unsigned>;
    case NC_INT64:
        return load_as<long long>;
    case NC_UINT64:
        return load_as<unsigned long long>;
    case NC_FLOAT:
        return load_as<float>;
    case NC_DOUBLE:
        return load_as<double>;
    default:
        return nullptr;
    }
}

size_t number_size(int type) {
    switch (type) {
    case NC_BYTE:
    case NC_UBYTE:
        return 1;
    case NC_SHORT:
    case NC_USHORT:
        return 2;
    case NC_INT:
    case NC_UINT:
    case NC_FLOAT:
        return 4;
    case NC_INT64:
    case NC_UINT64:
    case NC_DOUBLE:
        return 8;
    default:
        return 0;
    }
}

bool fill_value(const file &f, const variable &v, double &fill, std::string &why) {
    why.clear();
    int no_fill = 0;
    unsigned char value[8] = {};
    if (const int status = nc_inq_var_fill(f.id(), v.id, &no_fill, value); status != NC_NOERR) {
        why = f.failed(status, "the fill value of " + quote_token(v.name));
        return false;
    }
    if (no_fill)
        return false;
    const loader load = loader_of(v.type);
    if (load == nullptr)
        return false;
    fill = load(value, 0);
    return true;
}

failure read_doubles(const file &f, const variable &v, const std::vector<size_t> &start,
                     const std::vector<size_t> &count, std::vector<double> &into) {
    size_t n = 1;
    for (size_t c : count)
        n *= c;
    into.assign(n, 0.0);
    if (n == 0)
        return {};
    if (const int status =
            nc_get_vara_double(f.id(), v.id, start.data(), count.data(), into.data());
        status != NC_NOERR)
        return {f.failed(status, "reading " + quote_token(v.name))};
    return {};
}

failure read_raw(const file &f, const variable &v, const std::vector<size_t> &start,
                 const std::vector<size_t> &count, void *into) {
    if (const int status = nc_get_vara(f.id(), v.id, start.data(), count.data(), into);
        status != NC_NOERR)
        return {f.failed(status, "reading " + quote_token(v.name))};
    return {};
}

failure variables_of(const file &f, std::vector<variable> &all) {
    int count = 0;
    if (const int status = nc_inq_nvars(f.id(), &count); status != NC_NOERR)
        return {f.failed(status, "its variables")};
    all.clear();
    for (int id = 0; id < count; ++id) {
        char name[NC_MAX_NAME + 1] = {};
        if (const int status = nc_inq_varname(f.id(), id, name); status != NC_NOERR)
            return {f.failed(status, "its variables")};
        variable v;
        std::string why;
        if (!find_variable(f, name, v, why))
            return {why.empty() ? f.failed(NC_ENOTVAR, name) : why};
        all.push_back(std::move(v));
    }
    return {};
}

namespace {

std::string without_padding(std::string text) {
    text.resize(std::min(text.find('\0'), text.size()));
    while (!text.empty() && (text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

failure read_texts(const file &f, const variable &v, std::vector<std::string> &texts) {
    std::vector<size_t> start(v.dims.size(), 0), count;
    for (int dim : v.dims) {
        dimension d;
        if (failure why = dimension_of(f, dim, d); why.failed())
            return why;
        count.push_back(d.length);
    }
    texts.clear();
    if (v.type == NC_STRING && count.size() == 1) {
        std::vector<char *> strings(count[0], nullptr);
        if (const int status =
                nc_get_vara_string(f.id(), v.id, start.data(), count.data(), strings.data());
            status != NC_NOERR)
            return {f.failed(status, "reading " + quote_token(v.name))};
        for (char *text : strings)
            texts.push_back(without_padding(text != nullptr ? text : ""));
        nc_free_string(strings.size(), strings.data());
        return {};
    }
    if (v.type != NC_CHAR || count.size() != 2)
        return {f.failed(NC_ECHAR, quote_token(v.name) + " is not a variable of texts")};
    std::string chars(count[0] * count[1], '\0');
    if (const int status = nc_get_vara_text(f.id(), v.id, start.data(), count.data(), chars.data());
        status != NC_NOERR)
        return {f.failed(status, "reading " + quote_token(v.name))};
    for (size_t i = 0; i < count[0]; ++i)
        texts.push_back(without_padding(chars.substr(i * count[1], count[1])));
    return {};
}

} // namespace import::nc
