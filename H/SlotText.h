// The texts of a parameter block sit in fixed slots; a stored block may
// lack a slot's terminator, so they are read no further than the slot.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>

// Copies the text of `slot` into `text` (room for N bytes, as the slot
// has), at most N - 1 characters, and terminates it.
template <size_t N>
void CopySlotText(char (&text)[N], const char (&slot)[N]) {
    const size_t length = strnlen(slot, N - 1);
    std::memcpy(text, slot, length);
    text[length] = 0;
}

// Stores at most N - 1 characters of `text` into `slot` with a terminator;
// the slot's bytes after the terminator keep what they held.
template <size_t N>
void StoreSlotText(char (&slot)[N], const char* text) {
    std::snprintf(slot, N, "%s", text);
}

// The slot itself when it holds a terminated, non-empty text, else `fallback`.
template <size_t N>
const char* SlotTextOr(const char (&slot)[N], const char* fallback) {
    const size_t length = strnlen(slot, N);
    return length == 0 || length == N ? fallback : slot;
}
