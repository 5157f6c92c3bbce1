// A small strict JSON reader for the answers the library writes and reads
// back (the states of parts that merge): objects, arrays, strings without
// escapes beyond \" \\ \/ and \uXXXX of ASCII, integers, other numbers,
// true, false and null. Nesting is bounded, so no input runs the stack out.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rovurer {

struct json_value {
    enum class kind { null, boolean, integer, number, string, array, object };
    kind type = kind::null;
    bool boolean = false;
    std::int64_t integer = 0;  // an integer that fits, exactly
    double number = 0;         // every number, as the nearest double
    std::string text;
    std::vector<json_value> items;
    std::map<std::string, json_value, std::less<>> members;

    // A member of an object, or nullptr.
    const json_value* find(std::string_view name) const;
};

// The value `text` holds, with nothing but blanks around it; nullopt, with
// `why` set, when it is not JSON this reader takes.
std::optional<json_value> parse_json(std::string_view text, std::string& why);

// Nested objects and arrays that parse_json takes at most.
inline constexpr int most_json_depth = 64;

}  // namespace rovurer
