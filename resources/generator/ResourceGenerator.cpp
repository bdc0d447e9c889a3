// The resource generator: runs on the build machine and writes the plug-in's
// binary resources, each to a .bin file (for the Windows resource script)
// and all of them into one C++ source (for the builds that embed them).
//
//   fablix_resgen OUTDIR EDITOR.params TEST.params STRINGS.def ICON.txt
//
// EDITOR.params becomes PARM 16000 and the title in TEXT 1000; TEST.params
// becomes the test block 70sPop.bin and TestBlocks.cpp; STRINGS.def is the
// string table, embedded and written as Strings.rc; ICON.txt, the picture
// of the icon, becomes Fablix.ico. The lookup tables are computed from their
// formulas.
//
// Definition files are lines of `key = value`; '#' starts a comment line. A
// value is a list of integers or a C string literal; a line that begins with
// a string literal continues the string of the line before it.
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "FilterParams.h"
#include "InstanceState.h"
#include "RESOURCE.h"

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    std::fprintf(stderr, "fablix_resgen: %s: %s\n", where.c_str(), what.c_str());
    std::exit(1);
}

// ---------------------------------------------------------------------------
// Definition files

struct Entry {
    std::string key;
    bool isText = false;
    std::string text;
    std::vector<int64_t> numbers;
    std::string where;  // "file:line", for messages
};

bool ReadFile(const std::string& path, std::string* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out->append(buffer, n);
    std::fclose(f);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One C string literal starting at line[*pos] == '"'; appends its characters.
void ParseLiteral(const std::string& line, size_t* pos, std::string* out, const std::string& where) {
    size_t i = *pos + 1;
    while (true) {
        if (i >= line.size()) Fail(where, "unterminated string");
        char c = line[i++];
        if (c == '"') break;
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (i >= line.size()) Fail(where, "unterminated escape");
        char e = line[i++];
        switch (e) {
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case '\\': out->push_back('\\'); break;
        case '"': out->push_back('"'); break;
        case '\'': out->push_back('\''); break;
        case 'x': {
            int hi = i < line.size() ? HexDigit(line[i]) : -1;
            int lo = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
            if (hi < 0 || lo < 0) Fail(where, "\\x wants two hex digits");
            if (hi == 0 && lo == 0) Fail(where, "\\x00 would end the text");
            out->push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
            break;
        }
        default: Fail(where, std::string("unknown escape \\") + e);
        }
    }
    *pos = i;
}

size_t SkipBlanks(const std::string& line, size_t i) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
    return i;
}

// Parses a value (after '=' or at a continuation) into `e`.
void ParseValue(const std::string& line, size_t i, Entry* e) {
    i = SkipBlanks(line, i);
    if (i >= line.size()) Fail(e->where, "missing value");
    if (line[i] == '"') {
        e->isText = true;
        while (i < line.size() && line[i] == '"') {
            ParseLiteral(line, &i, &e->text, e->where);
            i = SkipBlanks(line, i);
        }
        if (i < line.size()) Fail(e->where, "text after the string");
        return;
    }
    while (i < line.size()) {
        size_t start = i;
        if (line[i] == '-' || line[i] == '+') i++;
        size_t digits = i;
        while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) i++;
        if (i == digits || i - digits > 10) Fail(e->where, "bad number");
        e->numbers.push_back(std::strtoll(line.substr(start, i - start).c_str(), nullptr, 10));
        size_t next = SkipBlanks(line, i);
        if (next == i && next < line.size()) Fail(e->where, "bad number");
        i = next;
    }
}

std::vector<Entry> ReadDefinitions(const std::string& path) {
    std::string content;
    if (!ReadFile(path, &content)) Fail(path, "cannot read");
    std::vector<Entry> entries;
    size_t lineStart = 0;
    for (int lineNumber = 1; lineStart < content.size(); lineNumber++) {
        size_t end = content.find('\n', lineStart);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(lineStart, end - lineStart);
        lineStart = end + 1;
        std::string where = path + ":" + std::to_string(lineNumber);
        size_t i = SkipBlanks(line, 0);
        if (i >= line.size() || line[i] == '#') continue;
        if (line[i] == '"') {  // continuation of the string before
            if (entries.empty() || !entries.back().isText) Fail(where, "string without a key");
            Entry more;
            more.where = where;
            ParseValue(line, i, &more);
            entries.back().text += more.text;
            continue;
        }
        size_t eq = line.find('=', i);
        if (eq == std::string::npos) Fail(where, "expected key = value");
        size_t keyEnd = eq;
        while (keyEnd > i && (line[keyEnd - 1] == ' ' || line[keyEnd - 1] == '\t')) keyEnd--;
        Entry e;
        e.key = line.substr(i, keyEnd - i);
        e.where = where;
        for (const Entry& before : entries)
            if (before.key == e.key) Fail(where, "'" + e.key + "' given twice");
        ParseValue(line, eq + 1, &e);
        entries.push_back(e);
    }
    return entries;
}

// ---------------------------------------------------------------------------
// Parameter blocks

enum class FieldKind { Integers, Texts };

struct Field {
    const char* name;
    FieldKind kind;
    size_t offset;
    int32_t count;     // integers in the list, or slots in the text array
    int32_t slotSize;  // bytes per text slot
    bool indexed;      // texts written as name[i]
};

constexpr Field kFields[] = {
    {"size", FieldKind::Integers, offsetof(FilterParams, size), 1, 0, false},
    {"built", FieldKind::Integers, offsetof(FilterParams, built), 1, 0, false},
    {"singleExpression", FieldKind::Integers, offsetof(FilterParams, singleExpression), 1, 0, false},
    {"sliderValue", FieldKind::Integers, offsetof(FilterParams, sliderValue), kSliderCount, 0, false},
    {"hasControls", FieldKind::Integers, offsetof(FilterParams, hasControls), 1, 0, false},
    {"reserved", FieldKind::Integers, offsetof(FilterParams, reserved), 3, 0, false},
    {"mapEnabled", FieldKind::Integers, offsetof(FilterParams, mapEnabled), kMapCount, 0, false},
    {"sliderEnabled", FieldKind::Integers, offsetof(FilterParams, sliderEnabled), kSliderCount, 0, false},
    {"title", FieldKind::Texts, offsetof(FilterParams, title), 1, kTextSlotSize, false},
    {"author", FieldKind::Texts, offsetof(FilterParams, author), 1, kTextSlotSize, false},
    {"moduleName", FieldKind::Texts, offsetof(FilterParams, moduleName), 1, kTextSlotSize, false},
    {"notice", FieldKind::Texts, offsetof(FilterParams, notice), 1, kTextSlotSize, false},
    {"mapName", FieldKind::Texts, offsetof(FilterParams, mapName), kMapCount, kTextSlotSize, true},
    {"sliderName", FieldKind::Texts, offsetof(FilterParams, sliderName), kSliderCount, kTextSlotSize, true},
    {"formula", FieldKind::Texts, offsetof(FilterParams, formula), kFormulaCount, kFormulaSlotSize, true},
};

void PutLE(Bytes* out, size_t at, uint64_t value, int width) {
    for (int b = 0; b < width; b++) (*out)[at + b] = static_cast<uint8_t>(value >> (8 * b));
}

void AppendLE(Bytes* out, uint64_t value, int width) {
    out->resize(out->size() + width);
    PutLE(out, out->size() - width, value, width);
}

// Splits "name[3]" into "name" and 3; a key without brackets has index -1.
void SplitKey(const Entry& e, std::string* name, int32_t* index) {
    size_t open = e.key.find('[');
    if (open == std::string::npos) {
        *name = e.key;
        *index = -1;
        return;
    }
    if (e.key.back() != ']' || open + 2 > e.key.size() - 1) Fail(e.where, "bad index");
    std::string digits = e.key.substr(open + 1, e.key.size() - open - 2);
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) Fail(e.where, "bad index");
    *name = e.key.substr(0, open);
    *index = std::atoi(digits.c_str());
}

// Unset fields stay zero, as in an instance the plug-in has just zeroed.
Bytes BuildParams(const std::string& path) {
    Bytes block(kFilterParamsSize, 0);
    for (const Entry& e : ReadDefinitions(path)) {
        std::string name;
        int32_t index;
        SplitKey(e, &name, &index);
        const Field* field = nullptr;
        for (const Field& f : kFields)
            if (name == f.name) field = &f;
        if (!field) Fail(e.where, "unknown field '" + name + "'");
        if (field->kind == FieldKind::Integers) {
            if (index >= 0 || e.isText) Fail(e.where, "'" + name + "' takes integers");
            if (static_cast<int32_t>(e.numbers.size()) != field->count)
                Fail(e.where, "'" + name + "' takes " + std::to_string(field->count) + " integers");
            for (int32_t k = 0; k < field->count; k++) {
                int64_t v = e.numbers[k];
                if (v < INT32_MIN || v > INT32_MAX) Fail(e.where, "integer out of range");
                PutLE(&block, field->offset + 4 * k, static_cast<uint32_t>(v), 4);
            }
            continue;
        }
        if (!e.isText) Fail(e.where, "'" + name + "' takes a string");
        if (field->indexed != (index >= 0)) Fail(e.where, "index wanted exactly for arrays");
        if (index >= field->count) Fail(e.where, "index out of range");
        // The slot keeps its terminator.
        if (static_cast<int32_t>(e.text.size()) >= field->slotSize)
            Fail(e.where, "text does not fit its slot with its terminator");
        size_t at = field->offset + static_cast<size_t>(index < 0 ? 0 : index) * field->slotSize;
        std::memcpy(block.data() + at, e.text.data(), e.text.size());
    }
    return block;
}

int32_t ReadInt(const Bytes& block, size_t offset) {
    uint32_t v = 0;
    for (int b = 0; b < 4; b++) v |= static_cast<uint32_t>(block[offset + b]) << (8 * b);
    return static_cast<int32_t>(v);
}

// ---------------------------------------------------------------------------
// The resources the host reads

// TEXT: two zero bytes, the menu title, zero fill. The title gets "..." when
// setup opens a dialog (the editor always does, a built block when it has
// controls), the same rule the builder applies to the plug-ins it writes.
Bytes BuildText(const Bytes& params) {
    constexpr size_t kTextSize = 253;
    std::string title(reinterpret_cast<const char*>(params.data() + offsetof(FilterParams, title)));
    bool opensDialog = ReadInt(params, offsetof(FilterParams, built)) == 0 ||
                       ReadInt(params, offsetof(FilterParams, hasControls)) != 0;
    if (opensDialog) title += "...";
    if (2 + title.size() + 1 > kTextSize) Fail("TEXT", "title too long");
    Bytes text(kTextSize, 0);
    std::memcpy(text.data() + 2, title.data(), title.size());
    return text;
}

// TYPE: two zero bytes, then the code 'VFlt' as a little-endian 32-bit value.
Bytes BuildType() {
    Bytes type(2, 0);
    AppendLE(&type, (uint32_t{'V'} << 24) | (uint32_t{'F'} << 16) | (uint32_t{'l'} << 8) | 't', 4);
    return type;
}

// FLTD: the host descriptor; its second value is where `params` lies in the
// 32-bit InstanceState.
Bytes BuildDescriptor() {
    struct Value {
        int width;
        uint32_t value;
    };
    const Value values[] = {
        {4, 0}, {4, static_cast<uint32_t>(offsetof(InstanceState32, params))},
        {4, 4}, {4, 4},
        {2, 4}, {4, 3},
        {4, 3}, {4, 3},
        {4, 3}, {4, 3},
        {4, 3}, {4, 3},
        {4, 3},
    };
    Bytes d;
    for (const Value& v : values) AppendLE(&d, v.value, v.width);
    return d;
}

// FLVS: two 16-bit values, 0 then 3.
Bytes BuildVersion() {
    Bytes v;
    AppendLE(&v, 0, 2);
    AppendLE(&v, 3, 2);
    return v;
}

// ---------------------------------------------------------------------------
// Lookup tables, each straight from its formula

// round(16384 cos(2 pi k / 1024)), k = 0..255: the first quarter turn.
Bytes BuildCosine() {
    Bytes t;
    for (int k = 0; k < 256; k++)
        AppendLE(&t, static_cast<uint16_t>(std::lround(16384.0 * std::cos(2.0 * std::numbers::pi * k / 1024.0))), 2);
    return t;
}

// round(65536 atan((k + 1) / 1024)): the angle in radians times 65536.
Bytes BuildArctan() {
    Bytes t;
    for (int k = 0; k < 1024; k++)
        AppendLE(&t, static_cast<uint16_t>(std::lround(65536.0 * std::atan((k + 1) / 1024.0))), 2);
    return t;
}

uint64_t IntegerSqrt(uint64_t v) {
    uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<double>(v)));
    while (r * r > v) r--;
    while ((r + 1) * (r + 1) <= v) r++;
    return r;
}

// floor(65536 (sqrt(1 + (k/1024)^2) - 1)) + 32. Since
// 65536 sqrt(1 + k^2/2^20) = sqrt(2^32 + 4096 k^2), the floor is taken on
// integers, exact also where the root is whole (k = 0 and k = 768).
Bytes BuildVector() {
    Bytes t;
    for (uint64_t k = 0; k < 1024; k++) AppendLE(&t, IntegerSqrt((uint64_t{1} << 32) + 4096 * k * k) - 65536 + 32, 2);
    return t;
}

// ---------------------------------------------------------------------------
// Output

struct Resource {
    const char* typeName;  // nullptr for a numeric type
    int32_t typeNumber;
    const char* nameText;  // nullptr for a numeric name
    int32_t nameNumber;
    const char* file;  // .bin file and array name
    Bytes bytes;
};

bool WriteFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

void WriteOrFail(const std::string& path, const std::string& text) {
    if (!WriteFile(path, text.data(), text.size())) Fail(path, "cannot write");
}

std::string ArrayText(const std::string& name, const Bytes& bytes) {
    std::string s = "const uint8_t " + name + "[" + std::to_string(bytes.size()) + "] = {";
    char hex[8];
    for (size_t i = 0; i < bytes.size(); i++) {
        if (i % 16 == 0) s += "\n   ";
        std::snprintf(hex, sizeof hex, " 0x%02X,", bytes[i]);
        s += hex;
    }
    return s + "\n};\n";
}

// A C literal of `text`; octal escapes, since a hex escape would swallow a
// following hex digit.
std::string Literal(const char* text) {
    if (!text) return "nullptr";
    std::string s = "\"";
    char octal[8];
    for (const char* p = text; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            s += octal;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s + "\"";
}

const char* kBanner = "// Written by fablix_resgen from the definitions in resources/. Do not edit.\n";

std::string EmbeddedSource(const std::vector<Resource>& resources, const std::vector<Entry>& strings) {
    std::string s = kBanner;
    s += "#include \"EmbeddedResources.h\"\n\nnamespace {\n\n";
    for (const Resource& r : resources) s += ArrayText(std::string("k") + r.file, r.bytes) + "\n";
    s += "}  // namespace\n\nconst EmbeddedResource kEmbeddedResources[] = {\n";
    for (const Resource& r : resources) {
        s += "    {" + Literal(r.typeName) + ", " + std::to_string(r.typeNumber) + ", " + Literal(r.nameText) + ", " +
             std::to_string(r.nameNumber) + ", k" + r.file + ", " + std::to_string(r.bytes.size()) + "},\n";
    }
    s += "};\nconst int32_t kEmbeddedResourceCount = " + std::to_string(resources.size()) + ";\n\n";
    s += "const EmbeddedString kEmbeddedStrings[] = {\n";
    for (const Entry& e : strings)
        s += "    {" + std::to_string(std::atoi(e.key.c_str())) + ", " + Literal(e.text.c_str()) + "},\n";
    s += "};\nconst int32_t kEmbeddedStringCount = " + std::to_string(strings.size()) + ";\n";
    return s;
}

// The string table as a resource script: language 1033, one entry a line.
// Resource-script strings know the C escapes, but not every control character,
// so the definitions may only hold printable ASCII, CR and LF.
std::string StringTableScript(const std::vector<Entry>& strings) {
    std::string s = kBanner;
    s += "LANGUAGE 9, 1\nSTRINGTABLE\nBEGIN\n";
    for (const Entry& e : strings) {
        s += "    " + std::to_string(std::atoi(e.key.c_str())) + ", \"";
        for (char c : e.text) {
            if (c == '\r')
                s += "\\r";
            else if (c == '\n')
                s += "\\n";
            else if (c == '"')
                s += "\"\"";
            else if (c == '\\')
                s += "\\\\";
            else
                s += c;
        }
        s += "\"\n";
    }
    return s + "END\n";
}

std::vector<Entry> ReadStrings(const std::string& path) {
    std::vector<Entry> strings = ReadDefinitions(path);
    for (const Entry& e : strings) {
        bool numeric = !e.key.empty() && e.key.size() <= 5;
        for (char c : e.key) numeric = numeric && std::isdigit(static_cast<unsigned char>(c));
        if (!numeric || std::atoi(e.key.c_str()) > 65535) Fail(e.where, "a string id is a number 0..65535");
        if (!e.isText || e.text.empty()) Fail(e.where, "a string id takes a non-empty string");
        for (char c : e.text)
            if ((c < 0x20 || c > 0x7E) && c != '\r' && c != '\n')
                Fail(e.where, "a string holds printable ASCII, \\r and \\n only");
    }
    return strings;
}

// ---------------------------------------------------------------------------
// The icon: 32 lines of 32 characters, each a colour of the standard
// 16-colour palette as a hex digit, or '.' where the icon is transparent.
// Written as an .ico of one 32 x 32, 4-bit image (744 bytes), which the
// resource script turns into icon 1 and group icon 105.

constexpr int kIconSide = 32;

// The platform's standard 16-colour palette, as red, green, blue.
constexpr uint8_t kPalette16[16][3] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

Bytes BuildIcon(const std::string& path) {
    std::string content;
    if (!ReadFile(path, &content)) Fail(path, "cannot read");
    std::vector<std::string> rows;
    size_t start = 0;
    for (int line = 1; start < content.size(); line++) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string row = content.substr(start, end - start);
        start = end + 1;
        if (!row.empty() && row[0] == '#') continue;
        std::string where = path + ":" + std::to_string(line);
        if (row.size() != kIconSide) Fail(where, "an icon row has 32 characters");
        for (char c : row)
            if (c != '.' && HexDigit(c) < 0) Fail(where, "an icon pixel is a hex digit or '.'");
        rows.push_back(row);
    }
    if (rows.size() != kIconSide) Fail(path, "an icon has 32 rows");

    constexpr uint32_t kHeaderSize = 40, kPaletteSize = 64;
    constexpr uint32_t kColourBytes = kIconSide * kIconSide / 2, kMaskBytes = kIconSide * kIconSide / 8;
    constexpr uint32_t kImageSize = kHeaderSize + kPaletteSize + kColourBytes + kMaskBytes;  // 744
    constexpr uint32_t kDirectorySize = 6 + 16;
    Bytes ico;
    // The file's directory: one 32 x 32 image of 16 colours.
    for (uint32_t v : {0u, 1u, 1u}) AppendLE(&ico, v, 2);
    for (uint32_t v : {32u, 32u, 16u, 0u}) AppendLE(&ico, v, 1);
    AppendLE(&ico, 1, 2);  // planes
    AppendLE(&ico, 4, 2);  // bits per pixel
    AppendLE(&ico, kImageSize, 4);
    AppendLE(&ico, kDirectorySize, 4);
    // The image: a bitmap header of twice the height (colours, then mask).
    AppendLE(&ico, kHeaderSize, 4);
    AppendLE(&ico, kIconSide, 4);
    AppendLE(&ico, 2 * kIconSide, 4);
    AppendLE(&ico, 1, 2);
    AppendLE(&ico, 4, 2);
    AppendLE(&ico, 0, 4);  // uncompressed
    AppendLE(&ico, kColourBytes + kMaskBytes, 4);
    for (int k = 0; k < 4; k++) AppendLE(&ico, 0, 4);
    for (const auto& rgb : kPalette16) {
        for (int c = 2; c >= 0; c--) AppendLE(&ico, rgb[c], 1);
        AppendLE(&ico, 0, 1);
    }
    // Rows bottom-up; transparent pixels are colour 0 with the mask bit set.
    for (int y = kIconSide - 1; y >= 0; y--)
        for (int x = 0; x < kIconSide; x += 2) {
            auto colour = [&](int at) { return rows[y][at] == '.' ? 0 : HexDigit(rows[y][at]); };
            AppendLE(&ico, static_cast<uint32_t>(colour(x) << 4 | colour(x + 1)), 1);
        }
    for (int y = kIconSide - 1; y >= 0; y--)
        for (int x = 0; x < kIconSide; x += 8) {
            uint32_t bits = 0;
            for (int b = 0; b < 8; b++) bits |= (rows[y][x + b] == '.' ? 0x80u : 0u) >> b;
            AppendLE(&ico, bits, 1);
        }
    if (ico.size() != kDirectorySize + kImageSize) Fail(path, "icon size");
    return ico;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: fablix_resgen OUTDIR EDITOR.params TEST.params STRINGS.def ICON.txt\n");
        return 2;
    }
    const std::string out = std::string(argv[1]) + "/";
    Bytes editor = BuildParams(argv[2]);
    Bytes test = BuildParams(argv[3]);
    std::vector<Entry> strings = ReadStrings(argv[4]);
    Bytes icon = BuildIcon(argv[5]);

    // The named types first, in the order the builder's walk lists them.
    std::vector<Resource> resources = {
        {FABLIX_RT_FLTD, 0, nullptr, IDR_FLTD, "FLTD1", BuildDescriptor()},
        {FABLIX_RT_FLVS, 0, nullptr, IDR_FLVS, "FLVS1000", BuildVersion()},
        {FABLIX_RT_PARM, 0, nullptr, IDR_PARM, "PARM16000", editor},
        {FABLIX_RT_TEXT, 0, nullptr, IDR_TEXT, "TEXT1000", BuildText(editor)},
        {FABLIX_RT_TYPE, 0, nullptr, IDR_TYPE, "TYPE1000", BuildType()},
        {nullptr, FABLIX_RT_RCDATA, FABLIX_RC_COSINE, 0, "COSINE", BuildCosine()},
        {nullptr, FABLIX_RT_RCDATA, FABLIX_RC_ARCTAN, 0, "ARCTAN", BuildArctan()},
        {nullptr, FABLIX_RT_RCDATA, FABLIX_RC_VECTOR, 0, "VECTOR", BuildVector()},
    };
    for (const Resource& r : resources)
        if (!WriteFile(out + r.file + ".bin", r.bytes.data(), r.bytes.size()))
            Fail(out + r.file + ".bin", "cannot write");
    if (!WriteFile(out + "70sPop.bin", test.data(), test.size())) Fail(out + "70sPop.bin", "cannot write");

    if (!WriteFile(out + "Fablix.ico", icon.data(), icon.size())) Fail(out + "Fablix.ico", "cannot write");

    WriteOrFail(out + "EmbeddedResources.cpp", EmbeddedSource(resources, strings));
    WriteOrFail(out + "Strings.rc", StringTableScript(strings));
    WriteOrFail(out + "TestBlocks.cpp",
                std::string(kBanner) + "#include \"TestBlocks.h\"\n\n" + ArrayText("kSeventiesPopBlock", test));
    return 0;
}
