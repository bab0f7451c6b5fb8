// A netCDF file read through the netCDF C library: opened and closed once,
// its variables, dimensions and attributes, and hyperslabs of its values.
// Every call is checked; a failure is told as "FILE: what: the library's
// reason".
#pragma once

#include "failure.h"
#include <cstddef>
#include <string>
#include <vector>

namespace import::nc {

class file {
  public:
    file() = default;
    ~file();
    file(file &&other) noexcept : id_(other.id_), path_(std::move(other.path_)) { other.id_ = -1; }
    file &operator=(file &&other) noexcept;
    file(const file &) = delete;
    file &operator=(const file &) = delete;

    // Opens path for reading; or what failed.
    failure open_path(const std::string &path);
    // Closes it; or what failed (a file still open when the object
    // goes, only read, is closed without a word).
    failure close_file();
    bool is_open() const { return id_ >= 0; }
    int id() const { return id_; }
    const std::string &path() const { return path_; }

    // "FILE: what: reason" of a library status.
    std::string failed(int status, const std::string &what) const;

  private:
    int id_ = -1;
    std::string path_;
};

struct variable {
    int id = -1;
    std::string name;
    int type = 0; // nc_type
    std::vector<int> dims;
};

// The variable of that name; false when the file has none (why empty) or
// when asking failed (why says).
bool find_variable(const file &f, const std::string &name, variable &v, std::string &why);

struct dimension {
    std::string name;
    size_t length = 0;
};
// A dimension's name and length; or what failed.
failure dimension_of(const file &f, int dim, dimension &d);

// A text attribute (char or string); false when absent (why empty) or on
// a failure (why says).
bool text_attribute(const file &f, int varid, const char *name, std::string &value,
                    std::string &why);
// A numeric attribute's values and its type; false when absent (why empty),
// not numeric or on a failure (why says).
bool number_attribute(const file &f, int varid, const char *name, std::vector<double> &values,
                      int &type, std::string &why);

// The size of a value of a type, in bytes; 0 for a type that is not a
// number.
size_t number_size(int type);

// A function that gives the value at an index of memory holding values of
// a type, as a double (exact but for 64-bit integers past 2^53); nullptr
// for a type that is not a number.
using loader = double (*)(const unsigned char *values, size_t index);
loader loader_of(int type);

// The fill value of a variable, as the library gives it (the attribute, or
// the type's default): false when the variable is not filled.
bool fill_value(const file &f, const variable &v, double &fill, std::string &why);

// Values of a hyperslab (start and count for each dimension) as doubles,
// or as the variable's own type into memory of the right size; or what
// failed.
failure read_doubles(const file &f, const variable &v, const std::vector<size_t> &start,
                     const std::vector<size_t> &count, std::vector<double> &into);
failure read_raw(const file &f, const variable &v, const std::vector<size_t> &start,
                 const std::vector<size_t> &count, void *into);

// The variables of a file, in their order; or what failed.
failure variables_of(const file &f, std::vector<variable> &all);

// The texts of a variable of strings (one a value) or of characters (its
// last dimension a text's length), trailing NULs and blanks dropped; or
// what failed.
failure read_texts(const file &f, const variable &v, std::vector<std::string> &texts);

} // namespace import::nc
