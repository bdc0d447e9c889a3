// The texts of a parameter block sit in fixed slots; a stored block may
// lack a slot's terminator, so they are copied out no further than the slot.
#pragma once

#include <cstddef>
#include <cstring>

// Copies the text of `slot` into `text` (room for N bytes, as the slot
// has), at most N - 1 characters, and terminates it.
template <size_t N>
void CopySlotText(char (&text)[N], const char (&slot)[N]) {
    const size_t length = strnlen(slot, N - 1);
    std::memcpy(text, slot, length);
    text[length] = 0;
}
