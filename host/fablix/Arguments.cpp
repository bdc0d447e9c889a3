#include "Arguments.h"

#include <cctype>
#include <cstdlib>

#include "Messages.h"

bool ParseNumber(const std::string& text, int64_t lo, int64_t hi, int32_t* value) {
    // strtoll alone would also take leading blanks and a plus sign.
    if (text.empty() || text.size() > 11 || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-'))
        return false;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != 0 || v < lo || v > hi) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

bool IsWholeNumberText(const std::string& text) {
    const size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == start) return false;
    for (size_t i = start; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

bool ParseThreads(const std::string& text, int32_t* threads) {
    if (ParseNumber(text, 1, kMaxThreads, threads)) return true;
    UsageError("--threads wants a whole number from 1 to " + std::to_string(kMaxThreads) + ": '" + text + "'");
    return false;
}
