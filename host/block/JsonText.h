// JSON as the tool prints it: one line, keys in the order written. Text
// that is not UTF-8 (a formula's stray byte, a title from an old file) is
// printed with U+FFFD in place of the bytes that are not, rather than
// stopping the program.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

inline std::string JsonText(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
