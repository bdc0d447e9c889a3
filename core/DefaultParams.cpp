#include "DefaultParams.h"

#include "RESOURCE.h"
#include "Resources.h"

int32_t LoadDefaultParams(FilterParams* params) {
    const int32_t copied =
        CopyResource(ResourceText(FABLIX_RT_PARM), ResourceNumber(IDR_PARM), params, kFilterParamsSize);
    return copied < 0 ? 0 : copied;
}
