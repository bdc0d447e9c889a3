#include "BlockText.h"

#include <cstdio>
#include <cstring>

#include "Channels.h"

std::string ReadableFormula(const char* slot) {
    std::string text;
    for (size_t i = 0; i < kFormulaSlotSize && slot[i] != 0; ++i) {
        const unsigned char c = static_cast<unsigned char>(slot[i]);
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c >= 32 && c < 127) {
            text += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
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
