// Escaping of formula text for the settings file: control
// characters, quotes, the backslash and bytes 128..255 become backslash
// sequences, so that a line holds no carriage return.
#pragma once

#include <cstddef>

// Escapes the zero-terminated `input` into `output`, zero-terminated.
// `output` needs room for 4 * strlen(input) + 1 bytes (a 63-character
// piece of a formula: 253).
void EscapeText(char* output, const char* input);

// Unescapes the zero-terminated `input` into `output`, zero-terminated.
// `output` needs room for strlen(input) + 1 bytes. Nothing past the
// input's terminator is read; a single backslash at the end is dropped.
void UnescapeText(char* output, const char* input);
