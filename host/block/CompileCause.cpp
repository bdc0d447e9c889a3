#include "CompileCause.h"

#include <cstring>
#include <vector>

#include "BlockText.h"
#include "CompileDriver.h"
#include "TemplateTable.h"

namespace {

// Room enough for any formula of 1023 bytes: the dearest name costs 116
// bytes of code per byte of text.
constexpr int32_t kLargeArea = 1 << 18;
constexpr int32_t kCodeBudget = kCodeAreaSize - 1;

// One token as the compiler cuts it, with the span a compile that stops
// at it reports.
struct Lexeme {
    int32_t token = kTokenNone;
    int32_t start = 0;
    int32_t end = 0;
    std::string text;
};

// Every token of `text`, the end token last.
std::vector<Lexeme> Tokens(const std::string& text) {
    std::vector<Lexeme> tokens;
    for (int32_t from = 0;;) {
        const FormulaToken token = ScanFormulaToken(text.data(), static_cast<int32_t>(text.size()), from);
        tokens.push_back({token.token, token.start, token.end, std::string(token.text, size_t(token.length))});
        if (token.token == kTokenEnd) return tokens;
        from = token.end;
    }
}

std::string Shown(const std::string& text) { return "'" + ReadableText(text) + "'"; }

// The arity of a name a formula may use: 0 for a variable, -1 for none.
int32_t ArityOf(const Lexeme& lexeme) {
    int32_t arity = 0;
    if (lexeme.token != kTokenIdentifier || !FindArity(kTemplateTable, lexeme.text.c_str(), &arity)) return -1;
    return arity;
}

std::string Arguments(int32_t count) { return std::to_string(count) + (count == 1 ? " argument" : " arguments"); }

// True when `lexeme` can close an operand: a number, a name or ")".
bool EndsOperand(const Lexeme* lexeme) {
    return lexeme != nullptr &&
           (lexeme->token == kTokenNumber || lexeme->token == kTokenIdentifier || lexeme->token == kTokenClose);
}

// The "(" that encloses token k, or -1.
int32_t EnclosingOpen(const std::vector<Lexeme>& tokens, int32_t k) {
    for (int32_t j = k - 1, depth = 0; j >= 0; --j) {
        if (tokens[j].token == kTokenClose) ++depth;
        if (tokens[j].token == kTokenOpen && depth-- == 0) return j;
    }
    return -1;
}

// Commas directly inside the parentheses opened at `open`, from `from` up
// to (not including) `to` or the matching ")".
int32_t CommasInside(const std::vector<Lexeme>& tokens, int32_t from, int32_t to) {
    int32_t commas = 0;
    for (int32_t j = from, depth = 0; j < to && depth >= 0; ++j) {
        if (tokens[j].token == kTokenOpen) ++depth;
        if (tokens[j].token == kTokenClose) --depth;
        if (tokens[j].token == kTokenComma && depth == 0) ++commas;
    }
    return commas;
}

// A ")" or "," at token k that gives a function too few or too many
// arguments; empty when that is not the cause.
std::string ArgumentCount(const std::vector<Lexeme>& tokens, int32_t k) {
    const int32_t open = EnclosingOpen(tokens, k);
    if (open < 0) return tokens[k].token == kTokenClose ? "')' closes no '('" : "";
    const int32_t arity = open > 0 ? ArityOf(tokens[open - 1]) : -1;
    if (arity <= 0) {
        return tokens[k].token == kTokenComma
                   ? "',' separates a function's arguments, or the parts of a formula outside all parentheses"
                   : "";
    }
    const std::string name = "'" + tokens[open - 1].text + "' takes " + Arguments(arity) + ", not ";
    const int32_t given = tokens[k - 1].token == kTokenOpen ? 0 : CommasInside(tokens, open + 1, k) + 1;
    if (tokens[k].token == kTokenClose && tokens[k - 1].token != kTokenComma && given < arity)
        return name + std::to_string(given);
    if (tokens[k].token == kTokenComma && given == arity)
        return name + std::to_string(CommasInside(tokens, open + 1, static_cast<int32_t>(tokens.size())) + 1);
    return "";
}

std::string NumberProblem(const std::string& text) {
    if (text[0] == '0')
        return Shown(text) + " is not a number: octal digits are 0 to 7 (a number that starts with 0 is octal)";
    return Shown(text) + " is not a number: decimal digits are 0 to 9 (hexadecimal numbers start with 0x)";
}

// The formula stops before it is complete.
std::string EndProblem(const std::vector<Lexeme>& tokens, int32_t k) {
    const std::string early = "formula ends too early";
    if (k == 0) return "the formula is empty (or holds only comments)";
    if (!EndsOperand(&tokens[k - 1])) return early + ": an operand is missing after " + Shown(tokens[k - 1].text);
    if (EnclosingOpen(tokens, k) >= 0) return early + ": a '(' is not closed";
    int32_t questions = 0;
    for (const Lexeme& lexeme : tokens)
        questions += lexeme.token == kTokenQuestion ? 1 : lexeme.token == kTokenColon ? -1 : 0;
    if (questions > 0) return early + ": a '?' wants its ':' part";
    return early;
}

// The cause at token k, where a correct text of the formula goes wrong.
std::string CauseAt(const std::vector<Lexeme>& tokens, int32_t k) {
    const Lexeme& at = tokens[k];
    const Lexeme* before = k > 0 ? &tokens[k - 1] : nullptr;
    if (before != nullptr && ArityOf(*before) > 0 && at.token != kTokenOpen)
        return "'" + before->text + "' is a function: write " + before->text + "(...) with " +
               Arguments(ArityOf(*before));
    int32_t value = 0;
    switch (at.token) {
    case kTokenEnd: return EndProblem(tokens, k);
    case kTokenError:
        if (at.text == "=") return "'=' is not an operator; did you mean '=='?";
        return Shown(at.text) + " is not part of the formula language";
    case kTokenNumber:
        if (!ConvertNumber(at.text.c_str(), &value)) return NumberProblem(at.text);
        break;
    case kTokenIdentifier:
        if (ArityOf(at) < 0) return "unknown name " + Shown(at.text);
        break;
    case kTokenOpen:
        if (before != nullptr && ArityOf(*before) == 0) return "'" + before->text + "' is a variable, not a function";
        break;
    case kTokenComma:
    case kTokenClose:
        if (std::string count = ArgumentCount(tokens, k); !count.empty()) return count;
        break;
    case kTokenColon:
        if (EndsOperand(before)) return "':' stands only after a '?'";
        break;
    default: break;
    }
    const bool startsOperand = at.token == kTokenNumber || at.token == kTokenIdentifier || at.token == kTokenOpen;
    if (EndsOperand(before) && startsOperand) return "an operator is missing before " + Shown(at.text);
    if (!EndsOperand(before) && !startsOperand)
        return "an operand (a number, a name or '(') is missing before " + Shown(at.text);
    return "cannot compile " + Shown(at.text);
}

}  // namespace

std::string CompileCause(const char* formula, int32_t start, int32_t end) {
    const std::string text(formula, strnlen(formula, kFormulaSlotSize));
    // The same text with room to spare: if it then compiles, or stops
    // elsewhere, what stopped it here was the size of its code.
    std::vector<uint8_t> area(kLargeArea);
    int32_t largeStart = 0, largeEnd = static_cast<int32_t>(text.size()), length = kLargeArea;
    const bool failed = !CompileFormula(text.c_str(), &largeStart, &largeEnd, area.data(), &length);
    const std::string budget = std::to_string(kCodeBudget);
    if (!failed)
        return "the compiled code needs " + std::to_string(length) + " bytes; a formula's code holds at most " + budget;
    if (largeStart != start || largeEnd != end)
        return "the compiled code needs more than the " + budget + " bytes a formula's code holds";
    const std::vector<Lexeme> tokens = Tokens(text);
    for (int32_t k = 0; k < static_cast<int32_t>(tokens.size()); ++k)
        if (tokens[k].start == start && tokens[k].end == end) return CauseAt(tokens, k);
    return end > start ? "cannot compile " + Shown(text.substr(start, end - start)) : "cannot compile here";
}
