// DialogContext: the record in a short-lived host handle that the settings
// dialog (and the build dialog it opens) works through: which dialog form,
// and the three records the dialog edits or reads. Like the other shared
// records its layout is written once over the address types: 4-byte
// addresses in the 32-bit image (16 bytes), the native width elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "FilterParams.h"
#include "HostRecords.h"
#include "InstanceState.h"

#pragma pack(push, 1)
template <class Addresses>
struct DialogContextOf {
    int32_t compact;                                  // 1 for template 102, 0 for 101
    typename Addresses::Record filterRecord;          // the host's FilterRecord
    typename Addresses::State instanceState;          // the record's InstanceState
    typename Addresses::Params params;                // the block being edited
};
#pragma pack(pop)

struct NativeDialogAddresses {
    using Record = FilterRecord*;
    using State = InstanceState*;
    using Params = FilterParams*;
};
template <class Address>
struct FixedDialogAddresses {
    using Record = Address;
    using State = Address;
    using Params = Address;
};

using DialogContext = DialogContextOf<NativeDialogAddresses>;
using DialogContext32 = DialogContextOf<FixedDialogAddresses<uint32_t>>;
using DialogContext64 = DialogContextOf<FixedDialogAddresses<uint64_t>>;

// Offsets of the 32-bit image, where they move in this build, and where
// they lie with 8-byte addresses whatever this build's width.
#define FABLIX_CHECK_CONTEXT(field, offset32, addressesBefore)                                  \
    static_assert(offsetof(DialogContext32, field) == (offset32));                              \
    static_assert(offsetof(DialogContext, field) == (offset32) + (addressesBefore) * kAddressWidening); \
    static_assert(offsetof(DialogContext64, field) == (offset32) + (addressesBefore) * 4)

FABLIX_CHECK_CONTEXT(compact, 0, 0);
FABLIX_CHECK_CONTEXT(filterRecord, 4, 0);
FABLIX_CHECK_CONTEXT(instanceState, 8, 1);
FABLIX_CHECK_CONTEXT(params, 12, 2);
#undef FABLIX_CHECK_CONTEXT

enum : int32_t {
    kDialogContextSize32 = 16,
    kDialogContextSize = static_cast<int32_t>(sizeof(DialogContext)),
};
static_assert(sizeof(DialogContext32) == kDialogContextSize32);
static_assert(sizeof(DialogContext64) == 28);
static_assert(sizeof(DialogContext) == 16 + 3 * kAddressWidening);
