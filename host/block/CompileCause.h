// Why a formula failed to compile, in words. The compiler reports only a
// span: the token at which it stopped. The cause is worked out here from
// that token, the tokens around it and the catalogue, and by compiling once
// more with a larger code area, so that running out of code room is told
// apart from a mistake in the text.
#pragma once

#include <cstdint>
#include <string>

// The cause of the failure of `formula` (as stored in its slot) whose
// compile stopped at [start, end): "unknown name 'foo'", "'min' takes 2
// arguments, not 1", "the compiled code needs 2310 bytes; a formula's code
// holds at most 2047", ... Bytes of the formula are shown as `show` shows
// them.
std::string CompileCause(const char* formula, int32_t start, int32_t end);
