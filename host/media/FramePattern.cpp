#include "FramePattern.h"

#include <algorithm>
#include <cctype>

namespace {

// Digits of the largest index a clip has (INT32_MAX - 1).
constexpr size_t kMostIndexDigits = 10;

std::string Padded(int64_t index, int32_t width) {
    std::string digits = std::to_string(index);
    if (digits.size() < size_t(width)) digits.insert(0, size_t(width) - digits.size(), '0');
    return digits;
}

}  // namespace

bool LooksLikeFramePattern(const std::string& pattern) { return pattern.find('%') != std::string::npos; }

bool ParseFramePattern(const std::string& pattern, FramePattern* parsed, std::string* problem) {
    FramePattern result;
    const size_t nameStart = pattern.find_last_of('/') + 1;  // npos + 1 == 0
    result.folder = pattern.substr(0, nameStart);
    bool haveField = false;
    std::string* text = &result.prefix;
    for (size_t i = nameStart; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            *text += pattern[i];
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            *text += '%';
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[end]))) ++end;
        const bool isField = end < pattern.size() && pattern[end] == 'd';
        if (!isField || haveField) {
            *problem = isField ? "a name holds one frame number (%d) only"
                               : "a frame number is written %d or %0Nd, such as frame%04d.png";
            return false;
        }
        std::string digits = pattern.substr(i + 1, end - i - 1);
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
        if (digits.size() > 3 || (!digits.empty() && std::stoi(digits) > int(kMaxFileNameBytes))) {
            *problem = "frame numbers " + digits + " digits wide make names longer than " +
                       std::to_string(kMaxFileNameBytes) + " bytes";
            return false;
        }
        result.width = digits.empty() ? 0 : std::stoi(digits);
        haveField = true;
        text = &result.suffix;
        i = end;
    }
    if (!haveField) {
        *problem = result.folder.find('%') != std::string::npos
                       ? "the frame number must be in the file name, not in a folder's"
                       : "a clip needs a frame number in the name, such as frame%04d.png";
        return false;
    }
    const size_t longest =
        result.prefix.size() + std::max(size_t(result.width), kMostIndexDigits) + result.suffix.size();
    if (longest > kMaxFileNameBytes) {
        *problem = "its frame names would be longer than " + std::to_string(kMaxFileNameBytes) + " bytes";
        return false;
    }
    *parsed = result;
    return true;
}

std::string FrameFileName(const FramePattern& pattern, int64_t index) {
    return pattern.folder + pattern.prefix + Padded(index, pattern.width) + pattern.suffix;
}

int64_t FrameIndexOfName(const FramePattern& pattern, const std::string& name) {
    const size_t fixed = pattern.prefix.size() + pattern.suffix.size();
    if (name.size() <= fixed || name.compare(0, pattern.prefix.size(), pattern.prefix) != 0 ||
        name.compare(name.size() - pattern.suffix.size(), pattern.suffix.size(), pattern.suffix) != 0)
        return -1;
    const std::string digits = name.substr(pattern.prefix.size(), name.size() - fixed);
    if (digits.size() > std::max(size_t(pattern.width), kMostIndexDigits)) return -1;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    const int64_t index = std::stoll(digits);
    // Only the exact spelling the pattern gives that frame: "f7.png" is no
    // frame of "f%03d.png".
    return Padded(index, pattern.width) == digits ? index : -1;
}
