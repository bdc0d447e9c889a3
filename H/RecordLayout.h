// The stored and shared records are written once over their address types:
// 4-byte addresses in the 32-bit image, the native width elsewhere. Each
// record proves its offsets with FABLIX_CHECK_LAYOUT.
#pragma once

#include <cstddef>

// How many bytes each address of a record grows by in this build.
constexpr size_t kAddressWidening = sizeof(void*) - 4;

// Where `field` lies in the 32-bit record `type##32`, where it moves in this
// build's `type`, and where it lies in `type##64` with 8-byte addresses
// whatever this build's width: `addressesBefore` addresses precede it.
#define FABLIX_CHECK_LAYOUT(type, field, offset32, addressesBefore)                          \
    static_assert(offsetof(type##32, field) == (offset32));                                  \
    static_assert(offsetof(type, field) == (offset32) + (addressesBefore)*kAddressWidening); \
    static_assert(offsetof(type##64, field) == (offset32) + (addressesBefore)*4)
