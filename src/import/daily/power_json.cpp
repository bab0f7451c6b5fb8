// NASA POWER's daily point JSON, the service's default format: a GeoJSON
// feature with the place in geometry.coordinates [longitude, latitude,
// elevation], each parameter's values by date "YYYYMMDD" under
// properties.parameter, their units in the parameters block and the
// missing value in header.fill_value. Read with the JSON library where the
// build has it.
#include "layout.h"
#include "reading.h"
#include "shown.h"

#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <span>

#ifdef SITEPREP_HAVE_JSON
#include <nlohmann/json.hpp>
#endif

namespace import {

#ifndef SITEPREP_HAVE_JSON

failure read_power_json(const std::string &path, const std::string &, wth_writer &, station_row &) {
    return {input_name(path) +
            ": a JSON file, and this build reads no JSON (it was made without nlohmann-json)"};
}

#else

namespace {

using json = nlohmann::json;

// The POWER parameters read, as the CSV reader reads them.
const char *const parameter_names[quantities][2] = {
    {"T2M_MAX", nullptr}, {"T2M_MIN", nullptr}, {"PRECTOTCORR", "PRECTOT"}};

// A parameter's units as the parameters block gives them.
struct known_unit {
    const char *text;
    temp_unit temp;
    prcp_unit prcp;
};
constexpr known_unit temp_units[] = {{"C", temp_unit::celsius, {}},
                                     {"°C", temp_unit::celsius, {}},
                                     {"F", temp_unit::fahrenheit, {}},
                                     {"°F", temp_unit::fahrenheit, {}},
                                     {"K", temp_unit::kelvin, {}}};
constexpr known_unit prcp_units[] = {{"mm/day", {}, prcp_unit::mm},
                                     {"mm", {}, prcp_unit::mm},
                                     {"cm/day", {}, prcp_unit::cm},
                                     {"in/day", {}, prcp_unit::inches}};

// One parameter of the file: its name, values by date and units.
struct parameter {
    std::string name;
    const json *values = nullptr;
    known_unit unit{};
};

const json *member(const json &object, const char *key) {
    if (!object.is_object())
        return nullptr;
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

// The quantity's parameter and its units; or why the file cannot give them.
failure parameter_of(const json &values, const json *units, int q, parameter &p) {
    for (const char *name : parameter_names[q])
        if (name != nullptr && p.values == nullptr && (p.values = member(values, name)) != nullptr)
            p.name = name;
    if (p.values == nullptr || !p.values->is_object())
        return {std::string("no parameter ") + parameter_names[q][0] + " in properties.parameter"};
    const json *unit = units != nullptr ? member(*units, p.name.c_str()) : nullptr;
    unit = unit != nullptr ? member(*unit, "units") : nullptr;
    if (unit == nullptr || !unit->is_string())
        return {"no units of " + p.name + " in the parameters block"};
    const std::string text = unit->get<std::string>();
    for (const known_unit &k : q == prcp ? std::span<const known_unit>(prcp_units)
                                         : std::span<const known_unit>(temp_units))
        if (text == k.text) {
            p.unit = k;
            return {};
        }
    return {"the units of " + p.name + ", " + quote_token(text) + ", are not ones this tool knows"};
}

// A number's text as the file wrote it; a number in exponent form, in
// fixed notation.
std::string number_text(const json &n) {
    std::string text = n.dump();
    if (n.is_number_float() && text.find_first_of("eE") != std::string::npos) {
        char fixed[400];
        const double d = n.get<double>();
        text.assign(fixed,
                    std::to_chars(fixed, fixed + sizeof fixed, d, std::chars_format::fixed).ptr);
    }
    return text;
}

// A day's value of a parameter, converted; or why it cannot be.
failure value_of(const json *given, const parameter &p, double fill, int q, value &v) {
    if (given == nullptr || given->is_null())
        return {};
    if (!given->is_number())
        return {"not a number: " + quote_token(given->dump())};
    const double number = given->get<double>();
    if (number == fill || number == -999)
        return {};
    // Beyond any weather in any of the units: left whole to the range rule,
    // as no decimal text this tool reads holds it.
    if (std::fabs(number) > 1e15) {
        v = {true, number, 0, false};
        return {};
    }
    const std::string text = number_text(*given);
    if (!(q == prcp ? precipitation(text, p.unit.prcp, v) : temperature(text, p.unit.temp, v)))
        return {"not a plain decimal number: " + quote_token(text)};
    return {};
}

// "YYYYMMDD" as a date that exists.
bool date_key(const std::string &key, date &d) {
    if (key.size() != 8 || key.find_first_not_of("0123456789") != std::string::npos)
        return false;
    d = {std::stoi(key.substr(0, 4)), std::stoi(key.substr(4, 2)), std::stoi(key.substr(6, 2))};
    return is_real_date(d);
}

// The days of the parameters, in date order, into the writer.
failure days_of(const parameter (&p)[quantities], double fill, wth_writer &writer) {
    // The keys of an object are in text order, which for YYYYMMDD is the dates'.
    std::map<std::string, std::array<const json *, quantities>> days;
    for (int q = 0; q < quantities; ++q)
        for (const auto &[key, given] : p[q].values->items())
            days[key][static_cast<size_t>(q)] = &given;
    for (const auto &[key, given] : days) {
        date d;
        if (!date_key(key, d))
            return {"properties.parameter: " + quote_token(key) +
                    " is not a date YYYYMMDD: not daily values"};
        value values[quantities];
        for (int q = 0; q < quantities; ++q)
            if (failure f = value_of(given[static_cast<size_t>(q)], p[q], fill, q, values[q]);
                f.failed())
                return {p[q].name + " of " + key + ": " + f.message};
        if (writer.add(d, values) == day_order::too_many_years)
            return {format_message("the date %s: more than %d years from the first, the most "
                                   "siteprep reads",
                                   key.c_str(), max_years)};
    }
    return {};
}

// The place, as the CSV's header gives it.
void place_of(const json &root, station_row &row) {
    const json *geometry = member(root, "geometry");
    const json *at = geometry != nullptr ? member(*geometry, "coordinates") : nullptr;
    if (at == nullptr || !at->is_array())
        return;
    std::string *const fields[] = {&row.longitude, &row.latitude, &row.elevation};
    for (size_t k = 0; k < 3 && k < at->size(); ++k)
        if ((*at)[k].is_number() && fields[k]->empty())
            *fields[k] = number_text((*at)[k]);
}

// What the library says, without its "[json.exception...] ".
std::string library_words(const json::exception &e) {
    std::string what = e.what();
    if (const size_t bracket = what.find("] "); bracket != std::string::npos)
        what.erase(0, bracket + 2);
    return what;
}

failure read_parsed(const json &root, wth_writer &writer, station_row &row) {
    const json *properties = member(root, "properties");
    const json *values = properties != nullptr ? member(*properties, "parameter") : nullptr;
    if (values == nullptr || !values->is_object())
        return {"no properties.parameter: not NASA POWER's daily point JSON"};
    const json *header = member(root, "header");
    const json *fill = header != nullptr ? member(*header, "fill_value") : nullptr;
    parameter p[quantities];
    for (int q = 0; q < quantities; ++q)
        if (failure f = parameter_of(*values, member(root, "parameters"), q, p[q]); f.failed())
            return f;
    place_of(root, row);
    return days_of(p, fill != nullptr && fill->is_number() ? fill->get<double>() : -999, writer);
}

} // namespace

failure read_power_json(const std::string &path, const std::string &text, wth_writer &writer,
                        station_row &row) {
    failure why;
    // The library throws; what it throws ends here, as a failure naming the file.
    try {
        why = read_parsed(json::parse(text), writer, row);
    } catch (const json::parse_error &e) {
        why = {"not JSON: " + library_words(e)};
    } catch (const json::exception &e) {
        why = {library_words(e)};
    }
    return why.failed() ? failure{input_name(path) + ": " + why.message} : why;
}

#endif

} // namespace import
