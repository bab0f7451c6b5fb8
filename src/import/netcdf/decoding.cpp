// A variable's fill value, missing values, valid range, _Unsigned and
// packing, read as the netCDF attribute conventions and CF define them.
// An attribute of another type than the variable is taken as the library
// converts it to the variable's type (a double rounded to the nearest
// float), so that a double 1e20 matches a float's 1e20.
#include "decoding.h"
#include "shown.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <netcdf.h>

namespace import::netcdf {

std::string of_variable(const nc::file &f, const std::string &var, const std::string &what) {
    return shown_name(f.path()) + ": variable " + quote_token(var) + " " + what;
}

bool decoding::number(const unsigned char *values, size_t index, double &v) const {
    const double stored = load(values, index);
    if (std::isnan(stored))
        return false;
    for (double m : missing)
        if (stored == m)
            return false;
    if (stored < valid_min || stored > valid_max)
        return false;
    if (unpacked_in_float) {
        const float unpacked =
            static_cast<float>(stored) * static_cast<float>(scale) + static_cast<float>(offset);
        v = unpacked;
    } else {
        v = stored * scale + offset;
    }
    const bool packed = scale != 1 || offset != 0;
    if (zero_within_a_step && packed && v < 0 && v >= -std::fabs(scale))
        v = 0;
    return true;
}

namespace {

// The type the values are read as: the variable's, or its unsigned
// counterpart under _Unsigned = "true".
struct value_type {
    int type = NC_NAT;
    int bits = 0;             // of an integer type
    bool is_unsigned = false; // an integer type without a sign, or seen without one
    bool unsigned_view = false;
};

int unsigned_of(int type) {
    switch (type) {
    case NC_BYTE:
        return NC_UBYTE;
    case NC_SHORT:
        return NC_USHORT;
    case NC_INT:
        return NC_UINT;
    case NC_INT64:
        return NC_UINT64;
    default:
        return type;
    }
}

bool is_unsigned_type(int type) {
    return type == NC_UBYTE || type == NC_USHORT || type == NC_UINT || type == NC_UINT64;
}

value_type value_type_of(int type, bool unsigned_attribute) {
    value_type t;
    t.unsigned_view = unsigned_attribute && unsigned_of(type) != type;
    t.type = t.unsigned_view ? unsigned_of(type) : type;
    t.is_unsigned = is_unsigned_type(t.type);
    if (t.type != NC_FLOAT && t.type != NC_DOUBLE)
        t.bits = static_cast<int>(nc::number_size(t.type) * 8);
    return t;
}

// A value of a signed attribute read through _Unsigned: its bit pattern
// as the unsigned type (-1 of a short is 65535).
double seen_unsigned(double x, const value_type &t) {
    const double span = std::ldexp(1.0, t.bits);
    if (t.unsigned_view && x < 0 && x >= -span / 2 && x == std::floor(x))
        return x + span;
    return x;
}

// A fill or missing value in the values' own type; false when the type
// holds no such value, so that no stored value can equal it (a float
// beyond the floats' range, a fraction or an integer beyond the type's).
bool as_value(double x, const value_type &t, double &out) {
    if (t.type == NC_DOUBLE || std::isnan(x)) {
        out = x;
        return true;
    }
    if (t.type == NC_FLOAT) {
        if (std::isfinite(x) && std::fabs(x) > FLT_MAX)
            return false;
        out = static_cast<float>(x);
        return true;
    }
    x = seen_unsigned(x, t);
    const double span = std::ldexp(1.0, t.bits);
    const double lo = t.is_unsigned ? 0 : -span / 2, hi = t.is_unsigned ? span - 1 : span / 2 - 1;
    if (x != std::floor(x) || x < lo || x > hi)
        return false;
    out = x;
    return true;
}

// A bound of the valid range in the values' own type: a float bound
// rounded to the nearest float; an integer type's compared as it stands,
// which is exact.
double as_bound(double x, const value_type &t) {
    if (t.type == NC_FLOAT)
        return std::isfinite(x) && std::fabs(x) <= FLT_MAX ? static_cast<float>(x) : x;
    if (t.type == NC_DOUBLE)
        return x;
    return seen_unsigned(x, t);
}

bool says_unsigned(const nc::file &f, int varid, std::string &why) {
    std::string value;
    if (!text_attribute(f, varid, "_Unsigned", value, why))
        return false;
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return value == "true";
}

// A packing attribute's first value and whether it is a float; false
// when absent.
bool packing(const nc::file &f, int varid, const char *name, double &value, bool &is_float,
             std::string &why) {
    std::vector<double> values;
    int type = 0;
    if (!why.empty() || !number_attribute(f, varid, name, values, type, why))
        return false;
    value = values[0];
    is_float = type == NC_FLOAT;
    return true;
}

// The fill value (the type's default where none is given, but for bytes)
// and each missing_value, in the values' own type.
void read_missing(const nc::file &f, const nc::variable &v, const value_type &t, decoding &d,
                  std::string &why) {
    std::vector<double> given;
    int type = 0;
    if (number_attribute(f, v.id, "_FillValue", given, type, why))
        given.resize(1);
    else if (double fill = 0;
             why.empty() && nc::number_size(v.type) > 1 && nc::fill_value(f, v, fill, why))
        given = {fill};
    std::vector<double> values;
    if (why.empty() && number_attribute(f, v.id, "missing_value", values, type, why))
        given.insert(given.end(), values.begin(), values.end());
    for (double x : given)
        if (double m = 0; as_value(x, t, m))
            d.missing.push_back(m);
}

// The valid range: valid_range where given, else valid_min and valid_max.
void read_range(const nc::file &f, const nc::variable &v, const value_type &t, decoding &d,
                std::string &why) {
    std::vector<double> values;
    int type = 0;
    if (why.empty() && number_attribute(f, v.id, "valid_range", values, type, why) &&
        values.size() >= 2) {
        d.valid_min = as_bound(values[0], t);
        d.valid_max = as_bound(values[1], t);
        return;
    }
    if (why.empty() && number_attribute(f, v.id, "valid_min", values, type, why))
        d.valid_min = as_bound(values[0], t);
    if (why.empty() && number_attribute(f, v.id, "valid_max", values, type, why))
        d.valid_max = as_bound(values[0], t);
}

} // namespace

failure read_decoding(const nc::file &f, const nc::variable &v, decoding &d) {
    d = decoding{};
    if (nc::loader_of(v.type) == nullptr)
        return {of_variable(f, v.name, "does not hold numbers")};
    std::string why;
    const value_type t = value_type_of(v.type, says_unsigned(f, v.id, why));
    d.load = nc::loader_of(t.type);
    d.size = nc::number_size(t.type);
    bool scale_float = true, offset_float = true;
    const bool scaled = packing(f, v.id, "scale_factor", d.scale, scale_float, why);
    const bool offset = packing(f, v.id, "add_offset", d.offset, offset_float, why);
    // Packing attributes of type float unpack to floats (CF), where a
    // float holds every stored value.
    d.unpacked_in_float = (scaled || offset) && scale_float && offset_float &&
                          (t.type == NC_FLOAT || nc::number_size(t.type) <= 2);
    if (why.empty())
        read_missing(f, v, t, d, why);
    read_range(f, v, t, d, why);
    return {why};
}

} // namespace import::netcdf
