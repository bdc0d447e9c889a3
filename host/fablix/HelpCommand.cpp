// fablix help [COMMAND | formulas] [--json]
// The names list is read from the template catalogue, each name explained
// by the compiler's guide, so a name the compiler knows cannot be missing.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

#include "CommandTable.h"
#include "Commands.h"
#include "NameGuide.h"
#include "NameList.h"

namespace {

constexpr const char* kKindNames[] = {"variable", "operator", "function"};
constexpr const char* kKindHeadings[] = {"variables", "operators", "functions"};

void PrintNamesJson(FILE* out) {
    nlohmann::ordered_json names = nlohmann::ordered_json::array();
    for (const NameEntry& entry : LanguageNames())
        names.push_back({{"name", entry.name},
                         {"kind", kKindNames[entry.kind]},
                         {"arity", entry.arity},
                         {"form", entry.form},
                         {"meaning", entry.meaning}});
    std::fprintf(out, "%s\n", nlohmann::ordered_json{{"names", names}}.dump().c_str());
}

void PrintNames(FILE* out) {
    const std::vector<NameEntry> entries = LanguageNames();
    for (int32_t kind = kNameVariable; kind <= kNameFunction; ++kind) {
        std::fprintf(out, "%s%s:\n", kind == kNameVariable ? "" : "\n", kKindHeadings[kind]);
        for (const NameEntry& entry : entries)
            if (entry.kind == kind) std::fprintf(out, "  %-24s %s\n", entry.form.c_str(), entry.meaning.c_str());
    }
    std::fprintf(out,
                 "\nAll values are 32-bit integers; a formula's result is clamped to 0..255. "
                 "Angles are in 1/1024 of a turn.\n");
}

}  // namespace

ExitCode RunHelp(Arguments& args) {
    std::string topic;
    bool json = false;
    while (!args.Done()) {
        const std::string argument = args.Take();
        if (argument == "--json") {
            json = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return UsageError("unknown option '" + argument + "'");
        } else if (!topic.empty()) {
            return UsageError("help takes one topic, a command or 'formulas': '" + argument + "'");
        } else {
            topic = argument;
        }
    }
    if (topic == "formulas") {
        json ? PrintNamesJson(stdout) : PrintNames(stdout);
        return kExitOk;
    }
    if (json) return UsageError("--json is for 'help formulas'");
    const CommandHelp* command = FindCommand(topic.c_str());
    if (command == nullptr) return UsageError("no help on '" + topic + "': give a command or 'formulas'");
    PrintCommandHelp(*command, stdout);
    return kExitOk;
}
