// Random formulas over the whole language, from its grammar: every
// variable, operator and function, literals in every notation, nested to a
// bounded depth. Deterministic for a given generator state.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "TemplateTable.h"

class FormulaGenerator {
public:
    explicit FormulaGenerator(uint32_t start) : random_(start) {}

    // Whether formulas may name "put" and "get".
    void SetCells(bool cells) { cells_ = cells; }

    // sequence := conditional { "," conditional }
    std::string Formula() {
        std::string text = Conditional(0);
        while (Chance(8)) text += "," + Conditional(0);
        return text;
    }

private:
    std::mt19937 random_;
    bool cells_ = true;

    int32_t Below(int32_t n) { return static_cast<int32_t>(random_() % static_cast<uint32_t>(n)); }
    bool Chance(int32_t oneIn) { return Below(oneIn) == 0; }

    std::string Conditional(int32_t depth) {
        std::string text = Binary(depth);
        if (depth < 4 && Chance(10)) text += "?" + Conditional(depth + 1) + ":" + Conditional(depth + 1);
        return text;
    }

    std::string Binary(int32_t depth) {
        static const char* const kOperators[] = {"+", "-",  "*",  "/",  "%",  "&&", "||", "&", "|",
                                                 "^", "<<", ">>", "==", "!=", "<",  "<=", ">", ">="};
        std::string text = Unary(depth);
        while (depth < 4 && Chance(4)) text += std::string(kOperators[Below(18)]) + Unary(depth + 1);
        return text;
    }

    std::string Unary(int32_t depth) {
        static const char* const kPrefixes[] = {"-", "!", "~", "+"};
        if (Chance(8)) return kPrefixes[Below(4)] + Unary(depth);
        return Primary(depth);
    }

    std::string Number() {
        const int32_t value = Below(4) == 0 ? static_cast<int32_t>(random_()) : Below(600) - 50;
        const uint32_t bits = static_cast<uint32_t>(value);
        char text[16];
        switch (Below(4)) {
        case 0: std::snprintf(text, sizeof(text), "0x%X", bits); break;
        case 1: std::snprintf(text, sizeof(text), "0%o", bits); break;
        default: std::snprintf(text, sizeof(text), "%u", bits); break;
        }
        return text;
    }

    // primary := number | variable | call | "(" conditional ")"
    std::string Primary(int32_t depth) {
        const int32_t choice = depth >= 3 ? Below(3) : Below(6);
        if (choice == 0) return Number();
        if (choice <= 2) return PickRow(false)->name;
        if (choice == 5) return "(" + Conditional(depth + 1) + ")";
        const Template* row = PickRow(true);
        std::string text = std::string(row->name) + "(";
        for (int32_t i = 0; i < row->arity; ++i) text += (i ? "," : "") + Conditional(depth + 1);
        return text + ")";
    }

    // A catalogue row a formula may name: a variable, or a function.
    const Template* PickRow(bool function) {
        for (;;) {
            const Template& row = kTemplateTable[Below(kTemplateRowCount)];
            const char first = row.name[0];
            const bool named = (first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z');
            const bool cell = std::string(row.name) == "put" || std::string(row.name) == "get";
            if (named && !IsStructural(row.name) && (row.arity > 0) == function && (cells_ || !cell)) return &row;
        }
    }

    static bool IsStructural(const char* name) {
        for (const char* structural : {"prolog", "epilog", "number", "error", "negate"})
            if (std::string(name) == structural) return true;
        return false;
    }
};
