// The JSON soil sources: SoilGrids 2.0 properties/query responses (one
// point each) and Soil Data Access tabular results in JSON+COLUMNNAME form
// (the rows of many map units), read with the JSON library where the build
// has it.
#include "fd.h"
#include "input.h"
#include "open.h"
#include "outputs.h"
#include "shown.h"
#include "soil/soil_readers.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <span>
#include <unistd.h>

#ifdef SITEPREP_HAVE_JSON
#include <nlohmann/json.hpp>
#endif

namespace import {

failure read_whole_input(const std::string &path, std::string &text) {
    os::fd file;
    if (path == "-") {
        file = os::fd(STDIN_FILENO, path);
    } else {
        os::result<os::fd> opened = os::open_input(path);
        if (!opened)
            return {"Error reading " + input_name(path) + ": " + opened.error().reason()};
        file = std::move(*opened);
    }
    os::result<std::string> read = os::read_rest(file);
    if (path == "-")
        file.release(); // standard input stays open
    if (!read)
        return {"Error reading " + input_name(path) + ": " + read.error().reason()};
    text = std::move(*read);
    return {};
}

#ifndef SITEPREP_HAVE_JSON

bool json_formats_built() {
    return false;
}

namespace {

failure no_json(const std::string &path) {
    return {input_name(path) + ": this build reads no JSON (it was made without nlohmann-json)"};
}

} // namespace

failure read_soilgrids(const std::string &path, const soil_reading &, soil_read &) {
    return no_json(path);
}

failure read_sda(const std::string &path, const soil_reading &, soil_read &) {
    return no_json(path);
}

#else

bool json_formats_built() {
    return true;
}

namespace {

using json = nlohmann::json;

// The input parsed; or why it is no JSON.
failure parse_input(const std::string &path, json &j) {
    std::string text;
    if (failure f = read_whole_input(path, text); f.failed())
        return f;
    try {
        j = json::parse(text);
    } catch (const json::parse_error &e) {
        std::string what = e.what();
        if (const size_t bracket = what.find("] "); bracket != std::string::npos)
            what.erase(0, bracket + 2);
        return {input_name(path) + ": not JSON: " + what};
    }
    return {};
}

// A member of an object, or nullptr.
const json *member(const json &object, const char *key) {
    if (!object.is_object())
        return nullptr;
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

// What a unit of a SoilGrids layer is to this tool: the divisor that its
// d_factor must be to turn the mapped values into percent (texture) or
// g/cm3 (bulk density).
struct known_unit {
    const char *unit;
    double d_factor;
};
constexpr known_unit texture_units[] = {{"g/kg", 10}, {"g/100g", 1}, {"%", 1}};
constexpr known_unit bulk_units[] = {{"cg/cm³", 100}, {"cg/cm^3", 100}, {"cg/cm3", 100},
                                     {"kg/dm³", 1},   {"kg/dm^3", 1},   {"kg/dm3", 1},
                                     {"g/cm³", 1},    {"g/cm^3", 1},    {"g/cm3", 1}};

// Which soil value a SoilGrids layer holds.
enum class property { sand, silt, clay, bulk_density, pass_through, other };

property property_of(const std::string &name, const std::string &pass) {
    if (!pass.empty() && name == pass)
        return property::pass_through;
    return name == "sand"   ? property::sand
           : name == "silt" ? property::silt
           : name == "clay" ? property::clay
           : name == "bdod" ? property::bulk_density
                            : property::other;
}

// The divisor of a layer's values: its own d_factor, once its unit says
// that this is what turns them into the unit needed; or why not.
failure divisor_of(const json &layer, const std::string &name, property p, double &divisor) {
    const json *unit = member(layer, "unit_measure");
    const json *factor = unit != nullptr ? member(*unit, "d_factor") : nullptr;
    const json *mapped = unit != nullptr ? member(*unit, "mapped_units") : nullptr;
    if (factor == nullptr || !factor->is_number() || !(factor->get<double>() > 0))
        return {"the " + name + " layer has no positive unit_measure.d_factor"};
    divisor = factor->get<double>();
    if (p == property::pass_through)
        return {}; // passed through as scaled by its own d_factor
    const std::string units = mapped != nullptr && mapped->is_string() ? mapped->get<std::string>()
                                                                       : std::string("(none)");
    const bool texture = p != property::bulk_density;
    const std::string wanted = texture ? "%" : "g/cm3";
    const std::span<const known_unit> units_known = texture
                                                        ? std::span<const known_unit>(texture_units)
                                                        : std::span<const known_unit>(bulk_units);
    for (const known_unit &k : units_known) {
        if (units != k.unit)
            continue;
        if (divisor != k.d_factor)
            return {format_message("the %s layer's d_factor %g does not turn %s into %s (%g does)",
                                   name.c_str(), divisor, units.c_str(), wanted.c_str(),
                                   k.d_factor)};
        return {};
    }
    return {"the " + name + " layer's mapped_units " + quote_token(units) +
            " is not a unit this tool knows for " + name};
}

double &field_of(soil_layer &l, property p) {
    switch (p) {
    case property::sand:
        return l.sand;
    case property::silt:
        return l.silt;
    case property::clay:
        return l.clay;
    case property::bulk_density:
        return l.bulk_density;
    default:
        return l.pass_through;
    }
}

using depth_key = std::pair<double, double>;

// How a depth range lies over one given before: "twice", "over TOP-BOTTOM
// cm", or empty where the two do not overlap.
std::string overlap_of(const depth_key &range, const depth_key &before) {
    if (!(range.first < before.second && before.first < range.second))
        return {};
    return range == before ? "twice" : format_message("over %g-%g cm", before.first, before.second);
}

// A depth's range in cm; or what is wrong.
failure range_of(const json &depth, const std::string &name, depth_key &key) {
    const json *range = member(depth, "range");
    const json *top = range != nullptr ? member(*range, "top_depth") : nullptr;
    const json *bottom = range != nullptr ? member(*range, "bottom_depth") : nullptr;
    const json *unit = range != nullptr ? member(*range, "unit_depth") : nullptr;
    if (top == nullptr || bottom == nullptr || !top->is_number() || !bottom->is_number())
        return {"a depth of the " + name + " layer has no range.top_depth and bottom_depth"};
    if (unit != nullptr && !(unit->is_string() && unit->get<std::string>() == "cm"))
        return {"a depth of the " + name + " layer is not in cm"};
    key = {top->get<double>(), bottom->get<double>()};
    if (!(key.first >= 0 && key.second > key.first && std::isfinite(key.second)))
        return {"a depth of the " + name + " layer, " + top->dump() + " to " + bottom->dump() +
                " cm, is no range from a top to a deeper bottom"};
    return {};
}

// What a converted value must be: the texture in 0 to 100 %, a bulk
// density not below 0, each a finite number; empty when it is so.
std::string wrong_value(property p, double value) {
    if (!std::isfinite(value))
        return "no finite number";
    if (p == property::bulk_density && value < 0)
        return "below 0 g/cm3";
    if (p != property::bulk_density && p != property::pass_through && !(value >= 0 && value <= 100))
        return "outside 0 to 100 %";
    return {};
}

// One depth of a layer into its soil layer; or what is wrong, naming the
// layer, the depth and the value.
failure read_depth(const json &depth, const std::string &name, property p,
                   const std::string &quantile, double divisor, const depth_key &key,
                   std::map<depth_key, soil_layer> &layers) {
    const json *values = member(depth, "values");
    const json *v = values != nullptr ? member(*values, quantile.c_str()) : nullptr;
    if (v == nullptr)
        return {"the " + name + " layer has no " + quote_token(quantile) +
                " values: download them (value=" + quantile + ")"};
    if (!v->is_null() && !v->is_number())
        return {"a " + quantile + " value of the " + name + " layer is not a number"};
    const double value = v->is_null() ? no_value : v->get<double>() / divisor;
    if (const std::string wrong = v->is_null() ? std::string() : wrong_value(p, value);
        !wrong.empty())
        return {format_message("the %s layer's %s at %g-%g cm, %s, divided by its d_factor %g, "
                               "is %s",
                               name.c_str(), quantile.c_str(), key.first, key.second,
                               v->dump().c_str(), divisor, wrong.c_str())};
    soil_layer &l = layers[key];
    l.top = key.first;
    l.bottom = key.second;
    field_of(l, p) = value;
    return {};
}

// The depths of a layer into the soil layers, none of them overlapping
// another (a depth given twice would weigh twice); or what is wrong.
failure read_depths(const json &depths, const std::string &name, property p,
                    const std::string &quantile, double divisor,
                    std::map<depth_key, soil_layer> &layers) {
    std::vector<depth_key> seen;
    for (const json &depth : depths) {
        depth_key key;
        if (failure f = range_of(depth, name, key); f.failed())
            return f;
        for (const depth_key &other : seen)
            if (const std::string over = overlap_of(key, other); !over.empty())
                return {format_message("the %s layer gives %g-%g cm %s", name.c_str(), key.first,
                                       key.second, over.c_str())};
        seen.push_back(key);
        if (failure f = read_depth(depth, name, p, quantile, divisor, key, layers); f.failed())
            return f;
    }
    return {};
}

// The layers of a response by depth; or what is wrong.
failure read_layers(const json &j, const soil_reading &how,
                    std::map<depth_key, soil_layer> &layers) {
    const json *properties = member(j, "properties");
    const json *list = properties != nullptr ? member(*properties, "layers") : nullptr;
    if (list == nullptr || !list->is_array())
        return {"no properties.layers: not a SoilGrids properties/query response"};
    bool seen[5] = {};
    for (const json &layer : *list) {
        const json *name = member(layer, "name");
        if (name == nullptr || !name->is_string())
            continue;
        const std::string n = name->get<std::string>();
        const property p = property_of(n, how.pass_property);
        if (p == property::other)
            continue;
        if (seen[static_cast<int>(p)])
            return {"the " + n + " layer is given twice"};
        double divisor = 1;
        if (failure f = divisor_of(layer, n, p, divisor); f.failed())
            return f;
        const json *depths = member(layer, "depths");
        if (depths == nullptr || !depths->is_array())
            return {"the " + n + " layer has no depths"};
        if (failure f = read_depths(*depths, n, p, how.quantile, divisor, layers); f.failed())
            return f;
        seen[static_cast<int>(p)] = true;
    }
    for (const char *needed : {"sand", "silt", "clay"})
        if (!seen[static_cast<int>(property_of(needed, ""))])
            return {std::string("no ") + needed +
                    " layer: the query must ask for sand, silt and clay"};
    if (!how.pass_property.empty() && !seen[static_cast<int>(property::pass_through)])
        return {"no " + how.pass_property + " layer, which --pass-through-from names"};
    return {};
}

} // namespace

failure read_soilgrids(const std::string &path, const soil_reading &how, soil_read &read) {
    json j;
    if (failure f = parse_input(path, j); f.failed())
        return f;
    site_soil site;
    site.name = how.name.empty() ? stem_of(path) : how.name;
    site.where = input_name(path);
    if (!site_list_can_name(site.name))
        return {input_name(path) + ": the name " + quote_token(site.name) +
                " holds white space or a control character, which no site list can name: give "
                "--name"};
    std::map<depth_key, soil_layer> layers;
    if (failure f = read_layers(j, how, layers); f.failed())
        return {input_name(path) + ": " + f.message};
    soil_profile profile;
    for (auto &[key, layer] : layers)
        profile.layers.push_back(layer);
    site.profiles.push_back(std::move(profile));
    read.sites.push_back(std::move(site));
    return {};
}

namespace {

// The columns of an SDA result that the reader takes.
enum sda_column {
    mukey,
    cokey,
    comppct_r,
    majcompflag,
    compkind,
    hzdept_r,
    hzdepb_r,
    sandtotal_r,
    silttotal_r,
    claytotal_r,
    dbthirdbar_r,
    resdept_r, // optional: no restriction known
    name,      // optional: the --plan query's; --points names the sites otherwise
    sda_columns
};
constexpr const char *sda_names[sda_columns] = {
    "mukey",        "cokey",     "comppct_r",   "majcompflag", "compkind",
    "hzdept_r",     "hzdepb_r",  "sandtotal_r", "silttotal_r", "claytotal_r",
    "dbthirdbar_r", "resdept_r", "name"};

// A row's cells as text: a string as it stands, a number as JSON writes
// it, null as empty.
bool cell_text(const json &cell, std::string &text) {
    if (cell.is_string())
        text = cell.get<std::string>();
    else if (cell.is_number())
        text = cell.dump();
    else if (cell.is_null())
        text.clear();
    else
        return false;
    return true;
}

// A component of a map unit, as its rows give it.
struct sda_component {
    std::string cokey;
    bool kept = false; // a major component, not a miscellaneous area
    soil_profile profile;
};

// The components of the map units (or named sites) of a result, in the
// order of their rows.
struct sda_units {
    std::vector<std::string> order;
    std::map<std::string, std::vector<sda_component>> of;
};

std::string trimmed_lower(const std::string &text) {
    return lower(trimmed(text));
}

// A number cell: no_value when null; false when it is no number.
bool number_cell(const std::string &text, double &value) {
    int decimals = 0;
    if (text.empty()) {
        value = no_value;
        return true;
    }
    return plain_number(text, value, decimals);
}

// What is wrong with a row's number cell, by its column: comppct_r and
// the texture in 0 to 100 %, depths and bulk density not below 0; empty
// when nothing is (a null never is).
std::string wrong_cell(sda_column c, const std::string &text, double value) {
    const std::string named = std::string(sda_names[c]) + " " + quote_token(text);
    if (std::isnan(value))
        return {};
    const bool percent = c == comppct_r || c == sandtotal_r || c == silttotal_r || c == claytotal_r;
    if (percent && !(value >= 0 && value <= 100))
        return named + " is outside 0 to 100 %";
    if (value < 0)
        return named + " is below 0";
    return {};
}

// A row's number cells by column; or what is wrong, naming the column and
// the value.
failure number_cells(const std::function<std::string(sda_column)> &cell,
                     double (&values)[sda_columns]) {
    for (sda_column c : {comppct_r, hzdept_r, hzdepb_r, sandtotal_r, silttotal_r, claytotal_r,
                         dbthirdbar_r, resdept_r}) {
        if (!number_cell(cell(c), values[c]))
            return {std::string(sda_names[c]) + " is not a number: " + quote_token(cell(c))};
        if (const std::string wrong = wrong_cell(c, cell(c), values[c]); !wrong.empty())
            return {wrong};
    }
    return {};
}

// A horizon into its component's profile: below its top, over no other
// horizon of the component (one given twice would weigh twice); or what
// is wrong.
failure add_horizon(const double (&values)[sda_columns], sda_component &c) {
    soil_profile &p = c.profile;
    soil_layer l;
    l.top = values[hzdept_r];
    l.bottom = values[hzdepb_r];
    if (l.bottom < l.top)
        return {format_message("hzdepb_r %g is above hzdept_r %g", l.bottom, l.top)};
    for (const soil_layer &other : p.layers)
        if (const std::string over = overlap_of({l.top, l.bottom}, {other.top, other.bottom});
            !over.empty())
            return {format_message("the horizon %g-%g cm of component %s is given %s", l.top,
                                   l.bottom, c.cokey.c_str(), over.c_str())};
    l.sand = values[sandtotal_r];
    l.silt = values[silttotal_r];
    l.clay = values[claytotal_r];
    l.bulk_density = values[dbthirdbar_r];
    p.layers.push_back(l);
    return {};
}

// One row into its unit's component; or what is wrong.
failure add_row(const std::vector<std::string> &cells, const int (&at)[sda_columns], bool by_name,
                sda_units &units) {
    const std::function<std::string(sda_column)> cell = [&](sda_column c) {
        return at[c] < 0 ? std::string() : cells[static_cast<size_t>(at[c])];
    };
    double values[sda_columns] = {};
    if (failure f = number_cells(cell, values); f.failed())
        return f;
    const std::string key = by_name ? cell(name) : cell(mukey);
    auto [unit, fresh] = units.of.try_emplace(key);
    if (fresh)
        units.order.push_back(key);
    std::vector<sda_component> &components = unit->second;
    auto component = std::find_if(components.begin(), components.end(),
                                  [&](const sda_component &c) { return c.cokey == cell(cokey); });
    if (component == components.end()) {
        sda_component c;
        c.cokey = cell(cokey);
        c.kept = trimmed_lower(cell(majcompflag)) == "yes" &&
                 trimmed_lower(cell(compkind)) != "miscellaneous area";
        c.profile.share = values[comppct_r];
        components.push_back(std::move(c));
        component = components.end() - 1;
    }
    soil_profile &p = component->profile;
    if (!std::isnan(values[resdept_r]) &&
        (std::isnan(p.restriction) || values[resdept_r] < p.restriction))
        p.restriction = values[resdept_r];
    if (std::isnan(values[hzdept_r]) || std::isnan(values[hzdepb_r]))
        return {}; // a component without horizons
    return add_horizon(values, *component);
}

// The result's rows by map unit (or name); or what is wrong.
failure read_units(const json &j, bool by_name, sda_units &units) {
    const json *table = member(j, "Table");
    if (table == nullptr || !table->is_array() || table->empty())
        return {"no Table of rows: not a Soil Data Access result in JSON+COLUMNNAME form (a "
                "query that finds nothing gives none)"};
    int at[sda_columns];
    std::vector<std::string> header;
    for (const json &c : (*table)[0]) {
        std::string text;
        header.push_back(cell_text(c, text) ? lower(text) : std::string());
    }
    for (int c = 0; c < sda_columns; ++c) {
        const auto found = std::find(header.begin(), header.end(), sda_names[c]);
        at[c] = found == header.end() ? -1 : static_cast<int>(found - header.begin());
        if (at[c] < 0 && c < resdept_r)
            return {std::string("no column ") + sda_names[c] +
                    " in its first row (the column names)"};
    }
    if (by_name && at[name] < 0)
        return {"no name column to name the sites: give --points FILE.csv (name,mukey)"};
    for (size_t r = 1; r < table->size(); ++r) {
        const json &row = (*table)[r];
        std::vector<std::string> cells(header.size());
        bool ok = row.is_array() && row.size() == header.size();
        for (size_t c = 0; ok && c < header.size(); ++c)
            ok = cell_text(row[c], cells[c]);
        const failure why =
            ok ? add_row(cells, at, by_name, units)
               : failure{"not a row of " + std::to_string(header.size()) + " cells"};
        if (why.failed())
            return {format_message("row %zu: ", r + 1) + why.message};
    }
    return {};
}

// A site of a unit's kept components, or its failure.
void site_of(const std::string &site_name, const std::string &key, const sda_units &units,
             const std::string &where, soil_read &read) {
    const auto unit = units.of.find(key);
    if (unit == units.of.end()) {
        read.failures.push_back({shown_name(site_name) + ": map unit " + quote_token(key) +
                                 " has no rows in " + where});
        return;
    }
    site_soil site;
    site.name = site_name;
    site.where = where + " (map unit " + unit->first + ")";
    bool kept = false;
    // A component of unknown share (a null comppct_r) weighs nothing and
    // never gives the layer code.
    for (const sda_component &c : unit->second) {
        kept = kept || c.kept;
        if (c.kept && !std::isnan(c.profile.share))
            site.profiles.push_back(c.profile);
    }
    if (site.profiles.empty())
        read.failures.push_back({shown_name(site_name) + ": map unit " + unit->first + " in " +
                                 where +
                                 (kept ? " has no major component with a comppct_r"
                                       : " has no major component that is not a miscellaneous "
                                         "area")});
    else
        read.sites.push_back(std::move(site));
}

} // namespace

failure read_sda(const std::string &path, const soil_reading &how, soil_read &read) {
    json j;
    if (failure f = parse_input(path, j); f.failed())
        return f;
    const bool by_name = how.points.empty();
    sda_units units;
    if (failure f = read_units(j, by_name, units); f.failed())
        return {input_name(path) + ": " + f.message};
    const std::string where = input_name(path);
    if (!by_name) {
        for (const auto &[site_name, key] : how.points)
            site_of(site_name, key, units, where, read);
        return {};
    }
    for (const std::string &key : units.order) {
        if (site_list_can_name(key))
            site_of(key, key, units, where, read);
        else
            read.failures.push_back({where + ": the name " + quote_token(key) +
                                     " holds white space or a control character, which no site "
                                     "list can name"});
    }
    return {};
}

#endif

} // namespace import
