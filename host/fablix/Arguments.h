// Reading the command line: the arguments after the command's name, taken
// one at a time, and the numbers options hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Arguments {
    std::vector<std::string> items;
    size_t next = 0;
    bool optionsEnded = false;  // "--" was taken: every later argument is a name, even "-x.png"

    bool Done() const { return next >= items.size(); }
    const std::string& Peek() const { return items[next]; }
    std::string Take() { return items[next++]; }
    // Takes the first "--" at Peek(); true when it did.
    bool TakeOptionsEnd() {
        if (optionsEnded || Done() || Peek() != "--") return false;
        optionsEnded = true;
        ++next;
        return true;
    }
};

// What a Take...Option function made of the argument at Peek().
enum OptionTake : int32_t {
    kOptionTaken = 0,    // it was the function's option: consumed, with its value
    kOptionBad = 1,      // it was, with a bad or missing value; the message is printed
    kNotThisOption = 2,  // it is not: nothing consumed, the caller reads it
};

// A whole decimal number within [lo, hi].
bool ParseNumber(const std::string& text, int64_t lo, int64_t hi, int32_t* value);

// True when `text` is a whole decimal number, whatever its size: an optional
// "-", then digits only. Tells a number out of range from no number.
bool IsWholeNumberText(const std::string& text);

// The limit of --threads.
constexpr int32_t kMaxThreads = 256;

// "--threads N": N from 1 to kMaxThreads; prints a usage message otherwise.
bool ParseThreads(const std::string& text, int32_t* threads);
