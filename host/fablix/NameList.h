// The formula language's names as the catalogue holds them, in its order,
// each with the guide's form and meaning.
#pragma once

#include <string>
#include <vector>

#include "NameGuide.h"

struct NameEntry {
    std::string name;
    NameKind kind;
    int32_t arity;
    std::string form;     // the catalogue's name when the guide has none
    std::string meaning;  // "(not described)" when the guide has none
};

std::vector<NameEntry> LanguageNames();
