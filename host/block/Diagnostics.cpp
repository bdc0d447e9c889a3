#include "Diagnostics.h"

#include <cstring>
#include <string>

#include "BlockText.h"
#include "Channels.h"
#include "CompileCause.h"
#include "CompileDriver.h"
#include "JsonText.h"

namespace {

// The formula as one display line, its bytes shown as `show` shows them,
// and the marker line under the span: spaces as wide as each byte's display
// before it, a caret under each byte of it (one caret for an empty span).
struct Display {
    std::string text;
    std::string marker;
};

Display DisplayWithMarker(const char* formula, int32_t start, int32_t end) {
    Display display;
    const size_t length = strnlen(formula, kFormulaSlotSize);
    for (size_t i = 0; i < length; ++i) {
        const std::string shown = ReadableByte(static_cast<unsigned char>(formula[i]));
        display.text += shown;
        const int32_t at = static_cast<int32_t>(i);
        if (at < start)
            display.marker.append(shown.size(), ' ');
        else if (at < end)
            display.marker.append(shown.size(), '^');
    }
    if (end <= start) display.marker += '^';
    return display;
}

}  // namespace

void CompileReportDecode(InstanceState* state, FormulaPrograms* programs, const char* severity) {
    CompileFormulas(state, &state->params);
    if (severity != nullptr) PrintDiagnostics(state, &state->params, severity, stderr);
    DecodeFormulas(state, programs);
}

bool AnyFormulaFailed(const InstanceState* state) {
    for (int32_t i = 0; i < kFormulaCount; ++i)
        if (state->compileFailed[i]) return true;
    return false;
}

void PrintDiagnostics(const InstanceState* state, const FilterParams* params, const char* severity, FILE* out) {
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        if (!state->compileFailed[i]) continue;
        const int32_t start = state->errorStart[i], end = state->errorEnd[i];
        const Display display = DisplayWithMarker(params->formula[i], start, end);
        std::fprintf(out, "%s: formula %d (channel %s), characters %d..%d: %s\n", severity, i, kChannelNames[i], start,
                     end, CompileCause(params->formula[i], start, end).c_str());
        std::fprintf(out, "    %s\n    %s\n", display.text.c_str(), display.marker.c_str());
    }
}

void PrintCompileJson(const InstanceState* state, const FilterParams* params, FILE* out) {
    nlohmann::ordered_json formulas = nlohmann::ordered_json::array();
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        // Copied out first: the packed record's fields are not aligned.
        const int32_t start = state->errorStart[i], end = state->errorEnd[i], codeLength = state->codeLength[i];
        formulas.push_back({{"index", i},
                            {"channel", std::string(1, kChannelLetters[i])},
                            {"failed", state->compileFailed[i] != 0},
                            {"errorStart", start},
                            {"errorEnd", end},
                            {"codeLength", codeLength},
                            {"message", state->compileFailed[i] ? CompileCause(params->formula[i], start, end) : ""}});
    }
    std::fprintf(out, "%s\n", JsonText(nlohmann::ordered_json{{"formulas", formulas}}).c_str());
}
