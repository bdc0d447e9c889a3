// The lexer: token codes and texts, white space and comments,
// bad characters, the token length limit, and ConvertNumber.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "CompilerInternal.h"

namespace {

struct Tok {
    int32_t token;
    std::string text;
    bool operator==(const Tok& other) const { return token == other.token && text == other.text; }
};

void PrintTo(const Tok& tok, std::ostream* os) {
    *os << "{" << tok.token << ", \"";
    for (unsigned char c : tok.text) {
        if (c >= 32 && c < 127)
            *os << c;
        else
            *os << "\\x" << std::hex << static_cast<int>(c) << std::dec;
    }
    *os << "\"}";
}

// The context as the compile driver sets it up; the
// text must outlive it.
CompileContext Start(const std::string& text) {
    CompileContext context{};
    context.lookahead = ' ';
    context.token = kTokenNone;
    context.tokenLength = 0;
    context.tokenText[0] = 0;
    context.textStart = reinterpret_cast<const uint8_t*>(text.data());
    context.textPos = context.textStart;
    context.textEnd = context.textStart + text.size();
    context.templates = kTemplateTable;
    return context;
}

// Every token up to and including the end of text.
std::vector<Tok> Lex(const std::string& text) {
    CompileContext context = Start(text);
    std::vector<Tok> tokens;
    for (int32_t guard = 0; guard < 4096; ++guard) {
        NextToken(&context);
        EXPECT_EQ(context.tokenText[context.tokenLength], 0);
        EXPECT_EQ(static_cast<size_t>(context.tokenLength), std::strlen(context.tokenText));
        tokens.push_back({context.token, std::string(context.tokenText, context.tokenLength)});
        if (context.token == kTokenEnd) break;
    }
    return tokens;
}

const Tok End{kTokenEnd, ""};
Tok Id(const char* text) { return {kTokenIdentifier, text}; }
Tok Num(const char* text) { return {kTokenNumber, text}; }
Tok Err(std::string text) { return {kTokenError, std::move(text)}; }

struct LexCase {
    std::string text;
    std::vector<Tok> tokens;
};

class LexerSequence : public testing::TestWithParam<LexCase> {};

TEST_P(LexerSequence, GivesTheTokens) { EXPECT_EQ(Lex(GetParam().text), GetParam().tokens); }

INSTANTIATE_TEST_SUITE_P(EmptyAndSpace, LexerSequence,
                         testing::Values(LexCase{"", {End}}, LexCase{" \t\n\f\r ", {End}},
                                         LexCase{"// only a comment", {End}},
                                         LexCase{"  // one\r// two\r\n\t// three", {End}},
                                         LexCase{"//\r//\r//", {End}}));

INSTANTIATE_TEST_SUITE_P(Comments, LexerSequence,
                         testing::Values(
                             // a comment ends at a carriage return, not at a line feed
                             LexCase{"a//note\r\n+b", {Id("a"), {kTokenPlus, "+"}, Id("b"), End}},
                             LexCase{"a//note\n+b", {Id("a"), End}},
                             LexCase{"a//x\rb//y\rc", {Id("a"), Id("b"), Id("c"), End}},
                             LexCase{"1//\xff\x80\x0b$\r2", {Num("1"), Num("2"), End}},
                             // the comment leaves no trace in the next token
                             LexCase{"//c\r/", {{kTokenSlash, "/"}, End}},
                             LexCase{"a/b", {Id("a"), {kTokenSlash, "/"}, Id("b"), End}},
                             LexCase{"a/", {Id("a"), {kTokenSlash, "/"}, End}},
                             LexCase{"a/ /b", {Id("a"), {kTokenSlash, "/"}, {kTokenSlash, "/"}, Id("b"), End}}));

INSTANTIATE_TEST_SUITE_P(IdentifiersAndNumbers, LexerSequence,
                         testing::Values(LexCase{"x1y2", {Id("x1y2"), End}}, LexCase{"1x", {Num("1"), Id("x"), End}},
                                         LexCase{"0xFFg", {Num("0xFF"), Id("g"), End}},
                                         LexCase{"12ab", {Num("12ab"), End}}, LexCase{"12g", {Num("12"), Id("g"), End}},
                                         LexCase{"0x", {Num("0x"), End}}, LexCase{"0X1f", {Num("0X1f"), End}},
                                         LexCase{"0xx", {Num("0x"), Id("x"), End}},
                                         LexCase{"1x2", {Num("1"), Id("x2"), End}},
                                         LexCase{"00x1", {Num("00"), Id("x1"), End}}, LexCase{"019", {Num("019"), End}},
                                         LexCase{"a_b", {Id("a"), Err("_"), Id("b"), End}},
                                         LexCase{"R r", {Id("R"), Id("r"), End}}));

INSTANTIATE_TEST_SUITE_P(Operators, LexerSequence,
                         testing::Values(LexCase{",?:~^+-*%()",
                                                 {{kTokenComma, ","},
                                                  {kTokenQuestion, "?"},
                                                  {kTokenColon, ":"},
                                                  {kTokenComplement, "~"},
                                                  {kTokenBitXor, "^"},
                                                  {kTokenPlus, "+"},
                                                  {kTokenMinus, "-"},
                                                  {kTokenStar, "*"},
                                                  {kTokenPercent, "%"},
                                                  {kTokenOpen, "("},
                                                  {kTokenClose, ")"},
                                                  End}},
                                         LexCase{"! != && & || |",
                                                 {{kTokenNot, "!"},
                                                  {kTokenNotEqual, "!="},
                                                  {kTokenLogicalAnd, "&&"},
                                                  {kTokenBitAnd, "&"},
                                                  {kTokenLogicalOr, "||"},
                                                  {kTokenBitOr, "|"},
                                                  End}},
                                         LexCase{"< <= << > >= >> ==",
                                                 {{kTokenLess, "<"},
                                                  {kTokenLessEqual, "<="},
                                                  {kTokenShiftLeft, "<<"},
                                                  {kTokenGreater, ">"},
                                                  {kTokenGreaterEqual, ">="},
                                                  {kTokenShiftRight, ">>"},
                                                  {kTokenEqual, "=="},
                                                  End}},
                                         LexCase{"a==b", {Id("a"), {kTokenEqual, "=="}, Id("b"), End}},
                                         LexCase{"a=b", {Id("a"), Err("="), Id("b"), End}},
                                         LexCase{"<<=", {{kTokenShiftLeft, "<<"}, Err("="), End}},
                                         LexCase{"<>", {{kTokenLess, "<"}, {kTokenGreater, ">"}, End}},
                                         LexCase{"!!", {{kTokenNot, "!"}, {kTokenNot, "!"}, End}},
                                         LexCase{"=<", {Err("="), {kTokenLess, "<"}, End}},
                                         LexCase{"**", {{kTokenStar, "*"}, {kTokenStar, "*"}, End}},
                                         LexCase{"++", {{kTokenPlus, "+"}, {kTokenPlus, "+"}, End}},
                                         LexCase{"===", {{kTokenEqual, "=="}, Err("="), End}},
                                         LexCase{"&&&", {{kTokenLogicalAnd, "&&"}, {kTokenBitAnd, "&"}, End}},
                                         LexCase{"|||", {{kTokenLogicalOr, "||"}, {kTokenBitOr, "|"}, End}},
                                         LexCase{">>>", {{kTokenShiftRight, ">>"}, {kTokenGreater, ">"}, End}},
                                         LexCase{">=>", {{kTokenGreaterEqual, ">="}, {kTokenGreater, ">"}, End}},
                                         LexCase{"<=<", {{kTokenLessEqual, "<="}, {kTokenLess, "<"}, End}},
                                         LexCase{"!==", {{kTokenNotEqual, "!="}, Err("="), End}}));

INSTANTIATE_TEST_SUITE_P(
    SeparatorsAndBadCharacters, LexerSequence,
    testing::Values(LexCase{"a\tb\fc\rd\ne", {Id("a"), Id("b"), Id("c"), Id("d"), Id("e"), End}},
                    LexCase{"a\vb", {Id("a"), Err("\v"), Id("b"), End}}, LexCase{"a\x80", {Id("a"), Err("\x80"), End}},
                    LexCase{"\xff"
                            "1",
                            {Err("\xff"), Num("1"), End}},
                    LexCase{"1\xc3\xa9", {Num("1"), Err("\xc3"), Err("\xa9"), End}},
                    LexCase{"\x01\x7f", {Err("\x01"), Err("\x7f"), End}},
                    LexCase{std::string("x\0y", 3), {Id("x"), End}}));  // a zero byte ends the text

// Every printable character that starts no token is the error token.
TEST(Lexer, OtherPrintableCharactersAreErrorTokens) {
    for (char c : std::string("\"#$'.;@[\\]_`{}")) {
        EXPECT_EQ(Lex(std::string(1, c)), (std::vector<Tok>{Err(std::string(1, c)), End})) << "character " << c;
    }
}

// Every byte value 1..255: its token when it stands alone.
TEST(Lexer, EveryByteAloneGivesItsToken) {
    const std::string singles = ",?:!~&|^<>+-*/%()";
    const int32_t codes[] = {kTokenComma, kTokenQuestion, kTokenColon,   kTokenNot,     kTokenComplement, kTokenBitAnd,
                             kTokenBitOr, kTokenBitXor,   kTokenLess,    kTokenGreater, kTokenPlus,       kTokenMinus,
                             kTokenStar,  kTokenSlash,    kTokenPercent, kTokenOpen,    kTokenClose};
    for (int32_t c = 1; c < 256; ++c) {
        const std::string text(1, static_cast<char>(c));
        std::vector<Tok> expected;
        const size_t at = singles.find(static_cast<char>(c));
        if (c == 9 || c == 10 || c == 12 || c == 13 || c == 32) {
            expected = {End};
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            expected = {Id(text.c_str()), End};
        } else if (c >= '0' && c <= '9') {
            expected = {Num(text.c_str()), End};
        } else if (at != std::string::npos) {
            expected = {{codes[at], text}, End};
        } else {
            expected = {Err(text), End};
        }
        EXPECT_EQ(Lex(text), expected) << "byte " << c;
    }
}

TEST(Lexer, ThreeHundredLetterIdentifierKeeps255AndConsumesAll) {
    const std::string text = std::string(300, 'q') + "+";
    CompileContext context = Start(text);
    NextToken(&context);
    EXPECT_EQ(context.token, kTokenIdentifier);
    EXPECT_EQ(context.tokenLength, 255);
    EXPECT_EQ(std::string(context.tokenText), std::string(255, 'q'));
    EXPECT_EQ(context.lookahead, '+');
    EXPECT_EQ(context.textPos - context.textStart, 301);  // all 300 letters and the "+"
    NextToken(&context);
    EXPECT_EQ(context.token, kTokenPlus);
    EXPECT_EQ(context.tokenLength, 1);
}

TEST(Lexer, LongNumberIsCutToItsFirst255Characters) {
    const std::string text = "1" + std::string(299, '0');
    CompileContext context = Start(text);
    NextToken(&context);
    EXPECT_EQ(context.token, kTokenNumber);
    EXPECT_EQ(context.tokenLength, 255);
    EXPECT_EQ(context.lookahead, 0);
    EXPECT_EQ(context.textPos, context.textEnd);
}

TEST(Lexer, EndOfTextRepeatsAndTextPosStaysAtTheEnd) {
    const std::string text = "ab";
    CompileContext context = Start(text);
    NextToken(&context);
    EXPECT_EQ(context.token, kTokenIdentifier);
    EXPECT_EQ(context.lookahead, 0);
    EXPECT_EQ(context.textPos, context.textEnd);
    for (int32_t i = 0; i < 3; ++i) {
        NextToken(&context);
        EXPECT_EQ(context.token, kTokenEnd);
        EXPECT_EQ(context.tokenLength, 0);
        EXPECT_EQ(context.tokenText[0], 0);
        EXPECT_EQ(context.textPos, context.textEnd);
    }
    ReadChar(&context);
    EXPECT_EQ(context.lookahead, 0);
    EXPECT_EQ(context.textPos, context.textEnd);
}

// While the look-ahead is not 0 its offset is one less than textPos's.
TEST(Lexer, LookaheadIsTheCharacterBeforeTextPos) {
    const std::string text = "ab+ 12";
    CompileContext context = Start(text);
    NextToken(&context);
    EXPECT_EQ(context.lookahead, '+');
    EXPECT_EQ(context.textPos - context.textStart, 3);
    NextToken(&context);
    EXPECT_EQ(context.lookahead, ' ');
    EXPECT_EQ(context.textPos - context.textStart, 4);
    NextToken(&context);
    EXPECT_EQ(context.token, kTokenNumber);
    EXPECT_EQ(context.lookahead, 0);
    EXPECT_EQ(context.textPos - context.textStart, 6);
}

TEST(Lexer, ReadCharGivesBytesZeroExtended) {
    const std::string text = "\xfe";
    CompileContext context = Start(text);
    ReadChar(&context);
    EXPECT_EQ(context.lookahead, 0xfe);
    ReadChar(&context);
    EXPECT_EQ(context.lookahead, 0);
}

TEST(Lexer, KeepCharStopsAt255) {
    CompileContext context = Start("");
    context.lookahead = 'z';
    for (int32_t i = 0; i < 300; ++i) KeepChar(&context);
    EXPECT_EQ(context.tokenLength, 255);
    EXPECT_EQ(context.tokenText[254], 'z');
}

TEST(Lexer, CharacterClassesOverEveryByte) {
    for (int32_t c = 0; c < 256; ++c) {
        const bool space = c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        const bool hex = digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        EXPECT_EQ(IsSpace(c), space ? 1 : 0) << c;
        EXPECT_EQ(IsLetter(c), letter ? 1 : 0) << c;
        EXPECT_EQ(IsDigit(c), digit ? 1 : 0) << c;
        EXPECT_EQ(IsHexDigit(c), hex ? 1 : 0) << c;
    }
}

struct NumberCase {
    const char* text;
    bool valid;
    int32_t value;
};

class ConvertNumberCase : public testing::TestWithParam<NumberCase> {};

TEST_P(ConvertNumberCase, Converts) {
    int32_t value = 12345;
    EXPECT_EQ(ConvertNumber(GetParam().text, &value), GetParam().valid);
    if (GetParam().valid) {
        EXPECT_EQ(value, GetParam().value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ConvertNumberCase,
    testing::Values(NumberCase{"0", true, 0}, NumberCase{"0x", true, 0}, NumberCase{"0X", true, 0},
                    NumberCase{"010", true, 8}, NumberCase{"017", true, 15}, NumberCase{"00", true, 0},
                    NumberCase{"0xffffffff", true, -1}, NumberCase{"0x7fffffff", true, INT_MAX},
                    NumberCase{"0x1F", true, 31}, NumberCase{"0X1f", true, 31}, NumberCase{"0xABCDEF", true, 0xABCDEF},
                    NumberCase{"0x100000000", true, 0}, NumberCase{"4294967297", true, 1},
                    NumberCase{"4294967296", true, 0}, NumberCase{"2147483648", true, INT_MIN},
                    NumberCase{"2147483647", true, INT_MAX}, NumberCase{"19", true, 19}, NumberCase{"1", true, 1},
                    NumberCase{"0777", true, 511}, NumberCase{"037777777777", true, -1}, NumberCase{"019", false, 0},
                    NumberCase{"08", false, 0}, NumberCase{"09", false, 0}, NumberCase{"0b1", false, 0},
                    NumberCase{"1e5", false, 0}, NumberCase{"12ab", false, 0}, NumberCase{"0a", false, 0},
                    NumberCase{"0xfg", false, 0}));

}  // namespace
