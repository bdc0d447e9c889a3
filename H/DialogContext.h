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
    int32_t compact;                          // 1 for template 102, 0 for 101
    typename Addresses::Record filterRecord;  // the host's FilterRecord
    typename Addresses::State instanceState;  // the record's InstanceState
    typename Addresses::Params params;        // the block being edited
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

FABLIX_CHECK_LAYOUT(DialogContext, compact, 0, 0);
FABLIX_CHECK_LAYOUT(DialogContext, filterRecord, 4, 0);
FABLIX_CHECK_LAYOUT(DialogContext, instanceState, 8, 1);
FABLIX_CHECK_LAYOUT(DialogContext, params, 12, 2);

enum : int32_t {
    kDialogContextSize32 = 16,
    kDialogContextSize = static_cast<int32_t>(sizeof(DialogContext)),
};
static_assert(sizeof(DialogContext32) == kDialogContextSize32);
static_assert(sizeof(DialogContext64) == 28);
static_assert(sizeof(DialogContext) == 16 + 3 * kAddressWidening);
