// The loaded-module port: is a module of a given name loaded in this
// process? (Windows: GetModuleHandleA, which adds ".dll" to a name without
// an extension.)
#pragma once

// True when the program or one of its loaded libraries has this name: its
// file name exactly, or, for a library, its name before ".so" or ".so.N".
bool IsModuleLoaded(const char* name);
