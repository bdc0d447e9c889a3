// The options every fablix command shares: which block to work on, and
// what to put in its place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FilterParams.h"

enum ExitCode : int32_t {
    kExitOk = 0,
    kExitFailed = 1,  // a formula did not compile, or the work failed
    kExitUsage = 2,   // bad arguments
};

// The command line after the command's name, read one argument at a time.
struct Arguments {
    std::vector<std::string> items;
    size_t next = 0;

    bool Done() const { return next >= items.size(); }
    const std::string& Peek() const { return items[next]; }
    std::string Take() { return items[next++]; }
};

// Prints "fablix: <message>" and returns kExitUsage.
int32_t UsageError(const std::string& message);

// Channel letters in formula order: formula 0 is blue.
constexpr char kChannelLetters[kFormulaCount + 1] = "bgra";
constexpr const char* kChannelNames[kFormulaCount] = {"B", "G", "R", "A"};

// Reads one block option at args.Peek() into `params`, consuming it and its
// value. Returns kExitOk when it took one, kExitUsage (message printed) on a
// bad value, and -1 when the argument is not a block option.
int32_t TakeBlockOption(Arguments& args, FilterParams* params);

// The editor's default block, from the plug-in's own PARM resource.
int32_t LoadDefaultBlock(FilterParams* params);

// Puts formula text into slot `index`, refusing what the block cannot hold.
int32_t SetFormula(FilterParams* params, int32_t index, const std::string& text,
                   const std::string& origin);
