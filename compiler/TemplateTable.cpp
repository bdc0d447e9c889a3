// The catalogue rows and their code, laid out at compile time.
#include "TemplateTable.h"

#include <array>
#include <cstring>

namespace {

// How a row's code relates to the row before it.
enum Share : uint8_t {
    kOwnBody,      // a body of its own, laid after the previous one
    kSameBody,     // a synonym: the previous row's body
    kTailOfPrior,  // the last `length` bytes of the previous row's body
};

enum Kind : uint8_t { kOperation, kProlog, kNumber, kError, kEpilog };

struct RowSpec {
    const char* name;
    int16_t arity;
    uint32_t length;
    Op op;
    Share share = kOwnBody;
    Kind kind = kOperation;
};

// The formatter keeps this as laid out: the rows grouped as the catalogue lists them.
// clang-format off
constexpr RowSpec kRows[] = {
    {"prolog", 0, 10, Op::Return, kOwnBody, kProlog},
    // position, channel and time
    {"x", 0, 3, Op::X}, {"xmin", 0, 4, Op::XMin}, {"xmax", 0, 4, Op::XMax}, {"X", 0, 4, Op::XMax},
    {"y", 0, 8, Op::Y}, {"ymin", 0, 4, Op::YMin}, {"ymax", 0, 4, Op::YMax}, {"Y", 0, 4, Op::YMax},
    {"p", 0, 4, Op::P}, {"pmin", 0, 4, Op::PMin}, {"pmax", 0, 4, Op::PMax}, {"P", 0, 4, Op::PMax},
    {"t", 0, 4, Op::T}, {"tmin", 0, 4, Op::TMin}, {"tmax", 0, 4, Op::Total},
    {"total", 0, 4, Op::Total}, {"T", 0, 4, Op::Total},
    // the source pixel
    {"a0", 0, 12, Op::SourceA}, {"a", 0, 12, Op::SourceA, kSameBody},
    {"r0", 0, 12, Op::SourceR}, {"r", 0, 12, Op::SourceR, kSameBody},
    {"g0", 0, 12, Op::SourceG}, {"g", 0, 12, Op::SourceG, kSameBody},
    {"b0", 0, 11, Op::SourceB}, {"b", 0, 11, Op::SourceB, kSameBody},
    {"c0", 0, 17, Op::SourceC}, {"c", 0, 17, Op::SourceC, kSameBody},
    {"a1", 0, 12, Op::SourceA}, {"r1", 0, 12, Op::SourceR}, {"g1", 0, 12, Op::SourceG},
    {"b1", 0, 11, Op::SourceB}, {"c1", 0, 17, Op::SourceC},
    {"number", 0, 2, Op::Number, kOwnBody, kNumber},
    {"R", 0, 6, Op::ChannelTop}, {"G", 0, 6, Op::ChannelTop, kSameBody},
    {"B", 0, 6, Op::ChannelTop, kSameBody}, {"C", 0, 6, Op::ChannelTop, kSameBody},
    // polar
    {"dmin", 0, 6, Op::DMin}, {"mmin", 0, 3, Op::MMin},
    {"D", 0, 6, Op::DMax}, {"dmax", 0, 6, Op::DMax, kSameBody}, {"d", 0, 116, Op::D},
    {"M", 0, 69, Op::MMax}, {"mmax", 0, 69, Op::MMax, kSameBody}, {"m", 0, 84, Op::M},
    // colour spaces
    {"i", 0, 48, Op::I}, {"i0", 0, 48, Op::I, kSameBody},
    {"u", 0, 38, Op::U}, {"u0", 0, 38, Op::U, kSameBody},
    {"v", 0, 39, Op::V}, {"v0", 0, 39, Op::V, kSameBody},
    {"i1", 0, 48, Op::I}, {"u1", 0, 38, Op::U}, {"v1", 0, 39, Op::V},
    // operators
    {"+", 0, 3, Op::Add}, {"-", 0, 5, Op::Subtract}, {"*", 0, 3, Op::Multiply},
    {"/", 0, 9, Op::Divide}, {"%", 0, 11, Op::Remainder}, {"negate", 0, 2, Op::Negate},
    {"&&", 0, 19, Op::LogicalAnd}, {"||", 0, 19, Op::LogicalOr}, {"!", 0, 10, Op::Not},
    {"~", 0, 2, Op::Complement}, {"&", 0, 3, Op::BitAnd}, {"|", 0, 3, Op::BitOr},
    {"^", 0, 3, Op::BitXor}, {"<<", 0, 4, Op::ShiftLeft}, {">>", 0, 4, Op::ShiftRight},
    {"==", 0, 13, Op::Equal}, {"!=", 0, 11, Op::NotEqual}, {"<", 0, 12, Op::Less},
    {"<=", 0, 12, Op::LessEqual}, {">", 0, 12, Op::Greater}, {">=", 0, 12, Op::GreaterEqual},
    {",", 0, 1, Op::Comma}, {"?", 0, 8, Op::Choose},
    // functions
    {"min", 2, 7, Op::Min}, {"max", 2, 7, Op::Max}, {"abs", 1, 9, Op::Abs},
    {"add", 3, 10, Op::AddCapped}, {"sub", 3, 10, Op::SubFloored}, {"dif", 2, 12, Op::Dif},
    {"ctl", 1, 15, Op::Ctl}, {"val", 3, 26, Op::Val}, {"map", 2, 25, Op::Map},
    {"scl", 5, 29, Op::Scl}, {"sqr", 1, 33, Op::Sqrt}, {"sqrt", 1, 33, Op::Sqrt, kSameBody},
    {"get", 1, 18, Op::Get}, {"put", 2, 17, Op::Put}, {"rnd", 2, 71, Op::Rnd},
    {"rad", 3, 171, Op::Rad}, {"rad0", 3, 171, Op::Rad, kSameBody},
    {"src", 3, 82, Op::Src}, {"src0", 3, 82, Op::Src, kSameBody},
    {"rad1", 3, 171, Op::Rad1}, {"src1", 3, 82, Op::Src}, {"mix", 4, 28, Op::Mix},
    {"cnv0", 10, 202, Op::Cnv}, {"cnv", 10, 202, Op::Cnv, kSameBody}, {"cnv1", 10, 202, Op::Cnv},
    {"c2m", 2, 57, Op::C2m}, {"c2d", 2, 92, Op::C2d}, {"r2y", 2, 35, Op::R2y},
    {"r2x", 2, 29, Op::R2x}, {"tan", 1, 59, Op::Tan}, {"sin", 1, 30, Op::Sin},
    {"cos", 1, 25, Op::Cos, kTailOfPrior},
    // the end
    {"debug", 0, 4, Op::Debug},
    {"error", 0, 3, Op::Return, kOwnBody, kError},
    {"epilog", 0, 7, Op::Return, kOwnBody, kEpilog},
};
// clang-format on
constexpr int32_t kRowCount = sizeof(kRows) / sizeof(kRows[0]);
static_assert(kRowCount == kTemplateRowCount);

constexpr uint8_t kStructuralBytes[][10] = {
    {},
    {0x53, 0x56, 0x57, 0x55, 0x8B, 0xEC, 0x8B, 0x74, 0x24, 0x14},  // prolog
    {0x50, 0xB8},                                                  // number
    {0x33, 0xC0, 0xC3},                                            // error
    {0x8B, 0xE5, 0x5D, 0x5F, 0x5E, 0x5B, 0xC3},                    // epilog
};

// Where each row's body starts; bodies are laid in row order.
constexpr std::array<int16_t, kRowCount> kOffsets = [] {
    std::array<int16_t, kRowCount> offsets{};
    int32_t end = 0;
    for (int32_t i = 0; i < kRowCount; ++i) {
        const RowSpec& row = kRows[i];
        if (row.share == kSameBody) {
            offsets[i] = offsets[i - 1];
        } else if (row.share == kTailOfPrior) {
            offsets[i] = static_cast<int16_t>(offsets[i - 1] + kRows[i - 1].length - row.length);
        } else {
            offsets[i] = static_cast<int16_t>(end);
            end += static_cast<int32_t>(row.length);
        }
    }
    return offsets;
}();

constexpr std::array<uint8_t, kTemplateCodeSize> kCode = [] {
    std::array<uint8_t, kTemplateCodeSize> code{};
    for (int32_t i = 0; i < kRowCount; ++i) {
        const RowSpec& row = kRows[i];
        if (row.share == kSameBody) continue;
        for (uint32_t k = 0; k < row.length; ++k) {
            uint8_t byte = kFiller;
            if (k == 0) byte = static_cast<uint8_t>(kOpBase + static_cast<uint8_t>(row.op));
            if (row.kind != kOperation) byte = kStructuralBytes[row.kind][k];
            code[kOffsets[i] + k] = byte;
        }
    }
    return code;
}();

constexpr int32_t BodiesEnd() {
    int32_t end = 0;
    for (int32_t i = 0; i < kRowCount; ++i)
        if (kRows[i].share == kOwnBody) end += static_cast<int32_t>(kRows[i].length);
    return end;
}
static_assert(BodiesEnd() == kTemplateCodeSize);

constexpr std::array<Template, kRowCount + 1> kTable = [] {
    std::array<Template, kRowCount + 1> table{};
    for (int32_t i = 0; i < kRowCount; ++i) {
        for (int32_t k = 0; kRows[i].name[k] != 0; ++k) table[i].name[k] = kRows[i].name[k];
        table[i].arity = kRows[i].arity;
        table[i].codeOffset = kOffsets[i];
        table[i].length = kRows[i].length;
    }
    return table;
}();

constexpr std::array<uint8_t, kOpCount> kLengths = [] {
    std::array<uint8_t, kOpCount> lengths{};
    for (const RowSpec& row : kRows)
        if (row.kind == kOperation) lengths[static_cast<int32_t>(row.op)] = static_cast<uint8_t>(row.length);
    return lengths;
}();

// Byte-exact comparison up to and including the terminator; a row name
// holds at most 7 characters, so longer names never match.
bool SameName(const char* rowName, const char* name) {
    for (size_t k = 0; k < sizeof(Template::name); ++k) {
        if (rowName[k] != name[k]) return false;
        if (rowName[k] == 0) return true;
    }
    return false;
}

}  // namespace

const TemplateTable* const kTemplateTable = kTable.data();
const uint8_t* const kTemplateCode = kCode.data();
const uint8_t* const kPrologBytes = kStructuralBytes[kProlog];
const uint8_t* const kErrorBytes = kStructuralBytes[kError];
const uint8_t* const kEpilogBytes = kStructuralBytes[kEpilog];
const uint8_t* const kOpLength = kLengths.data();

const Template* FindRow(const TemplateTable* table, const char* name) {
    for (const Template* row = table; row->name[0] != 0; ++row)
        if (SameName(row->name, name)) return row;
    return nullptr;
}

bool FindTemplate(const TemplateTable* table, const char* name, const uint8_t** code, int32_t* length) {
    const Template* row = FindRow(table, name);
    *code = row ? kTemplateCode + row->codeOffset : nullptr;
    *length = row ? static_cast<int32_t>(row->length) : 0;
    return row != nullptr;
}

namespace {

// Names that an identifier can spell but that are not values.
constexpr const char* kNotValues[] = {"prolog", "epilog", "number", "error", "negate"};

}  // namespace

bool FindArity(const TemplateTable* table, const char* name, int32_t* arity) {
    *arity = 0;
    for (const char* notValue : kNotValues)
        if (std::strcmp(name, notValue) == 0) return false;
    const Template* row = FindRow(table, name);
    if (row == nullptr) return false;
    *arity = row->arity;
    return true;
}
