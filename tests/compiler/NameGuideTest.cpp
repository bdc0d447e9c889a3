// The guide to the language's names against the template catalogue: one
// entry per name a formula can use, in the catalogue's order, each spelled
// as its row's kind and arity say.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "NameGuide.h"
#include "TemplateTable.h"

namespace {

std::vector<const Template*> LanguageRows() {
    std::vector<const Template*> rows;
    for (const Template* row = kTemplateTable; row->name[0] != '\0'; ++row)
        if (IsLanguageRow(*row)) rows.push_back(row);
    return rows;
}

// The arguments a function's form shows: "cnv(w1, ..., w9, d)" writes out
// its first and last two, the others elided.
int32_t FormArguments(const std::string& form) {
    if (form.find("...") != std::string::npos) return 10;
    int32_t arguments = 1;
    for (char c : form) arguments += c == ',';
    return arguments;
}

TEST(NameGuide, HasOneEntryPerLanguageRowInCatalogueOrder) {
    const std::vector<const Template*> rows = LanguageRows();
    int32_t count = 0;
    const NameGuide* guides = NameGuides(&count);
    ASSERT_EQ(size_t(count), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_STREQ(guides[i].name, rows[i]->name) << "entry " << i;
        EXPECT_EQ(FindNameGuide(rows[i]->name), &guides[i]);
        EXPECT_GT(std::strlen(guides[i].meaning), 0u) << rows[i]->name;
    }
}

TEST(NameGuide, LeavesOutTheStructuralRowsAlone) {
    size_t structural = 0;
    for (const Template* row = kTemplateTable; row->name[0] != '\0'; ++row) structural += !IsLanguageRow(*row);
    EXPECT_EQ(structural, 4u);
    for (const char* name : {"prolog", "number", "error", "epilog"}) {
        EXPECT_FALSE(IsLanguageRow(*FindRow(kTemplateTable, name))) << name;
        EXPECT_EQ(FindNameGuide(name), nullptr) << name;
    }
}

TEST(NameGuide, FormsAgreeWithTheRowsKindAndArity) {
    for (const Template* row : LanguageRows()) {
        const std::string form = FindNameGuide(row->name)->form;
        switch (KindOfRow(*row)) {
        case kNameFunction:
            EXPECT_EQ(form.rfind(std::string(row->name) + "(", 0), 0u) << form;
            EXPECT_EQ(FormArguments(form), row->arity) << form;
            break;
        case kNameVariable: EXPECT_EQ(form, row->name); break;
        case kNameOperator:
            EXPECT_EQ(row->arity, 0);
            if (std::strcmp(row->name, "negate") != 0) {
                EXPECT_NE(form.find(row->name), std::string::npos) << form;
            }
            break;
        }
    }
}

TEST(NameGuide, TellsTheKindsApart) {
    const struct {
        const char* name;
        NameKind kind;
    } cases[] = {{"x", kNameVariable},   {"T", kNameVariable},  {"debug", kNameVariable},  {"+", kNameOperator},
                 {"?", kNameOperator},   {",", kNameOperator},  {"negate", kNameOperator}, {"min", kNameFunction},
                 {"cnv", kNameFunction}, {"sin", kNameFunction}};
    for (const auto& c : cases) EXPECT_EQ(KindOfRow(*FindRow(kTemplateTable, c.name)), c.kind) << c.name;
}

}  // namespace
