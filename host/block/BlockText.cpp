#include "BlockText.h"

#include <cstdio>
#include <cstring>

#include "Channels.h"
#include "JsonText.h"

std::string ReadableByte(unsigned char c) {
    switch (c) {
    case '\\': return "\\\\";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\r': return "\\r";
    default: break;
    }
    if (c >= 32 && c < 127) return std::string(1, static_cast<char>(c));
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
    return escaped;
}

std::string ReadableText(const std::string& text) {
    std::string readable;
    for (char c : text) readable += ReadableByte(static_cast<unsigned char>(c));
    return readable;
}

std::string ReadableFormula(const char* slot) {
    return ReadableText(std::string(slot, strnlen(slot, kFormulaSlotSize)));
}

std::string BlockText(const FilterParams& params) {
    std::string text = "formulas:\n";
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        const std::string formula = ReadableFormula(params.formula[i]);
        text += "  " + std::string(kChannelNames[i]) + " (" + std::to_string(i) +
                "): " + (formula.empty() ? "(empty)" : formula) + "\n";
    }
    text += "sliders:";
    for (int32_t k = 0; k < kSliderCount; ++k)
        text += " " + std::to_string(k) + "=" + std::to_string(params.sliderValue[k]);
    text += std::string("\nsingle expression: ") + (params.singleExpression ? "on" : "off") + "\n";
    return text;
}

namespace {

template <size_t N>
std::string SlotString(const char (&slot)[N]) {
    return std::string(slot, strnlen(slot, N));
}

}  // namespace

std::string BlockJson(const FilterParams& params) {
    nlohmann::ordered_json formulas = nlohmann::ordered_json::array();
    for (int32_t i = 0; i < kFormulaCount; ++i)
        formulas.push_back(
            {{"index", i}, {"channel", std::string(1, kChannelLetters[i])}, {"text", SlotString(params.formula[i])}});
    nlohmann::ordered_json sliders = nlohmann::ordered_json::array(), maps = nlohmann::ordered_json::array();
    for (int32_t k = 0; k < kSliderCount; ++k)
        sliders.push_back({{"index", k},
                           {"value", int32_t{params.sliderValue[k]}},  // a copy: the record is packed
                           {"name", SlotString(params.sliderName[k])},
                           {"enabled", params.sliderEnabled[k] != 0}});
    for (int32_t i = 0; i < kMapCount; ++i)
        maps.push_back({{"index", i}, {"name", SlotString(params.mapName[i])}, {"enabled", params.mapEnabled[i] != 0}});
    const nlohmann::ordered_json block = {{"formulas", formulas},
                                          {"sliders", sliders},
                                          {"maps", maps},
                                          {"singleExpression", params.singleExpression != 0},
                                          {"built", params.built != 0},
                                          {"title", SlotString(params.title)},
                                          {"author", SlotString(params.author)},
                                          {"module", SlotString(params.moduleName)}};
    return JsonText(block) + "\n";
}
