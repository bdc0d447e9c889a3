#include "BlockText.h"

#include <cstdio>
#include <cstring>

#include "Channels.h"

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
