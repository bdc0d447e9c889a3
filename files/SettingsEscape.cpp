#include "SettingsEscape.h"

namespace {

// The letter escapes, indexed by byte - 8: backspace to carriage return.
constexpr char kLetterEscapes[] = "btnvfr";

bool IsOctalDigit(unsigned char c) { return c >= '0' && c <= '7'; }

}  // namespace

void EscapeText(char* output, const char* input) {
    char* out = output;
    for (const unsigned char* in = reinterpret_cast<const unsigned char*>(input); *in != 0; ++in) {
        const unsigned char c = *in;
        if (c >= 8 && c <= 13) {
            *out++ = '\\';
            *out++ = kLetterEscapes[c - 8];
        } else if (c < 32 || c >= 128) {
            *out++ = '\\';
            *out++ = static_cast<char>('0' + (c >> 6));
            *out++ = static_cast<char>('0' + ((c >> 3) & 7));
            *out++ = static_cast<char>('0' + (c & 7));
        } else if (c == '"' || c == '\'' || c == '\\') {
            *out++ = '\\';
            *out++ = static_cast<char>(c);
        } else {
            *out++ = static_cast<char>(c);
        }
    }
    *out = 0;
}

void UnescapeText(char* output, const char* input) {
    char* out = output;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(input);
    while (*in != 0) {
        const unsigned char c = *in++;
        if (c != '\\') {
            *out++ = static_cast<char>(c);
            continue;
        }
        const unsigned char next = *in;
        if (next == 0) break;  // a lone backslash at the end stands for nothing
        ++in;
        if (IsOctalDigit(next)) {
            unsigned value = next - '0';
            for (int digits = 1; digits < 3 && IsOctalDigit(*in); ++digits) value = value * 8 + (*in++ - '0');
            *out++ = static_cast<char>(value & 0xFF);
        } else {
            switch (next) {
            case 'b': *out++ = 8; break;
            case 'f': *out++ = 12; break;
            case 'n': *out++ = 10; break;
            case 'r': *out++ = 13; break;
            case 't': *out++ = 9; break;
            case 'v': *out++ = 11; break;
            default: *out++ = static_cast<char>(next); break;
            }
        }
    }
    *out = 0;
}
