#include "Diagnostics.h"

#include <cstring>
#include <string>

#include "Channels.h"

namespace {

// The formula as one display line: control characters other than tab show
// as a blank, so the marker line stays aligned byte for byte.
std::string DisplayText(const char* formula) {
    std::string text(formula, strnlen(formula, kFormulaSlotSize));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 && c != '\t') c = ' ';
    return text;
}

std::string MarkerLine(const std::string& text, int32_t start, int32_t end) {
    std::string marker;
    for (int32_t i = 0; i < start && i < static_cast<int32_t>(text.size()); ++i)
        marker += text[static_cast<size_t>(i)] == '\t' ? '\t' : ' ';
    marker.append(static_cast<size_t>(end > start ? end - start : 1), '^');
    return marker;
}

}  // namespace

bool AnyFormulaFailed(const InstanceState* state) {
    for (int32_t i = 0; i < kFormulaCount; ++i)
        if (state->compileFailed[i]) return true;
    return false;
}

void PrintDiagnostics(const InstanceState* state, const FilterParams* params, const char* severity,
                      FILE* out) {
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        if (!state->compileFailed[i]) continue;
        const int32_t start = state->errorStart[i], end = state->errorEnd[i];
        const std::string text = DisplayText(params->formula[i]);
        const std::string what = end > start ? "cannot compile '" + text.substr(start, end - start) + "'"
                                 : end < static_cast<int32_t>(text.size()) ? "cannot compile here"
                                                                          : "formula ends too early";
        std::fprintf(out, "%s: formula %d (channel %s), characters %d..%d: %s\n", severity, i,
                     kChannelNames[i], start, end, what.c_str());
        std::fprintf(out, "    %s\n    %s\n", text.c_str(), MarkerLine(text, start, end).c_str());
    }
}

void PrintCompileJson(const InstanceState* state, FILE* out) {
    std::fprintf(out, "{\"formulas\":[");
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        std::fprintf(out,
                     "%s{\"index\":%d,\"channel\":\"%c\",\"failed\":%s,\"errorStart\":%d,"
                     "\"errorEnd\":%d,\"codeLength\":%d}",
                     i ? "," : "", i, kChannelLetters[i], state->compileFailed[i] ? "true" : "false",
                     state->errorStart[i], state->errorEnd[i], state->codeLength[i]);
    }
    std::fprintf(out, "]}\n");
}
