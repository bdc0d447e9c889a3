#include "NameList.h"

std::vector<NameEntry> LanguageNames() {
    std::vector<NameEntry> entries;
    for (const Template* row = kTemplateTable; row->name[0] != '\0'; ++row) {
        if (!IsLanguageRow(*row)) continue;
        const NameGuide* guide = FindNameGuide(row->name);
        entries.push_back(NameEntry{row->name, KindOfRow(*row), row->arity, guide ? guide->form : row->name,
                                    guide ? guide->meaning : "(not described)"});
    }
    return entries;
}
