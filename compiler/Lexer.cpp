#include "CompilerInternal.h"

namespace {

// An operator token: its first character alone, or followed by one of two
// second characters. "/" is not here: it may open a comment.
struct OperatorRule {
    char first;
    int32_t alone;
    char second = 0;
    int32_t withSecond = 0;
    char other = 0;
    int32_t withOther = 0;
};

constexpr OperatorRule kOperators[] = {
    {',', kTokenComma},
    {'?', kTokenQuestion},
    {':', kTokenColon},
    {'~', kTokenComplement},
    {'^', kTokenBitXor},
    {'+', kTokenPlus},
    {'-', kTokenMinus},
    {'*', kTokenStar},
    {'%', kTokenPercent},
    {'(', kTokenOpen},
    {')', kTokenClose},
    {'!', kTokenNot, '=', kTokenNotEqual},
    {'&', kTokenBitAnd, '&', kTokenLogicalAnd},
    {'|', kTokenBitOr, '|', kTokenLogicalOr},
    {'<', kTokenLess, '<', kTokenShiftLeft, '=', kTokenLessEqual},
    {'>', kTokenGreater, '=', kTokenGreaterEqual, '>', kTokenShiftRight},
    {'=', kTokenError, '=', kTokenEqual},  // a lone "=" is no token
};

void KeepAndRead(CompileContext* context) {
    KeepChar(context);
    ReadChar(context);
}

// Recognises an operator, or consumes a bad character as the error token.
int32_t ScanOperator(CompileContext* context) {
    const int32_t first = context->lookahead;
    KeepAndRead(context);
    for (const OperatorRule& rule : kOperators) {
        if (rule.first != first) continue;
        if (rule.second != 0 && context->lookahead == rule.second) {
            KeepAndRead(context);
            return rule.withSecond;
        }
        if (rule.other != 0 && context->lookahead == rule.other) {
            KeepAndRead(context);
            return rule.withOther;
        }
        return rule.alone;
    }
    return kTokenError;
}

// Skips a comment whose first "/" has been kept; it ends at a carriage
// return or the end of the text.
void SkipComment(CompileContext* context) {
    while (context->lookahead != 13 && context->lookahead != 0) ReadChar(context);
}

int32_t DigitValue(int32_t c) {
    if (IsDigit(c)) return c - '0';
    return (c | 0x20) - 'a' + 10;
}

}  // namespace

int32_t IsSpace(int32_t c) { return c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
int32_t IsLetter(int32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
int32_t IsDigit(int32_t c) { return c >= '0' && c <= '9'; }
int32_t IsHexDigit(int32_t c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

void ReadChar(CompileContext* context) {
    if (context->textPos < context->textEnd) {
        context->lookahead = *context->textPos++;
    } else {
        context->lookahead = 0;
    }
}

void KeepChar(CompileContext* context) {
    if (context->tokenLength < kTokenTextSize - 1) {
        context->tokenText[context->tokenLength++] = static_cast<char>(context->lookahead);
    }
}

void NextToken(CompileContext* context) {
    for (;;) {
        context->tokenLength = 0;
        while (IsSpace(context->lookahead)) ReadChar(context);
        const int32_t c = context->lookahead;
        if (c == 0) {
            context->token = kTokenEnd;
        } else if (IsLetter(c)) {
            do KeepAndRead(context);
            while (IsLetter(context->lookahead) || IsDigit(context->lookahead));
            context->token = kTokenIdentifier;
        } else if (IsDigit(c)) {
            if (c == '0') {
                KeepAndRead(context);
                if (context->lookahead == 'x' || context->lookahead == 'X') KeepAndRead(context);
            }
            while (IsHexDigit(context->lookahead)) KeepAndRead(context);
            context->token = kTokenNumber;
        } else if (c == '/') {
            KeepAndRead(context);
            if (context->lookahead == '/') {
                SkipComment(context);
                continue;  // the comment leaves no trace in the next token
            }
            context->token = kTokenSlash;
        } else {
            context->token = ScanOperator(context);
        }
        context->tokenText[context->tokenLength] = 0;
        return;
    }
}

bool ConvertNumber(const char* text, int32_t* value) {
    uint32_t result = 0;
    const char* p = text;
    if (p[0] != '0') {
        for (; IsDigit(*p); ++p) result = result * 10 + static_cast<uint32_t>(*p - '0');
    } else if (p[1] == 'x' || p[1] == 'X') {
        for (p += 2; IsHexDigit(*p); ++p) result = result * 16 + static_cast<uint32_t>(DigitValue(*p));
    } else {
        for (p += 1; *p >= '0' && *p <= '7'; ++p) result = result * 8 + static_cast<uint32_t>(*p - '0');
    }
    *value = static_cast<int32_t>(result);
    return *p == 0;
}
