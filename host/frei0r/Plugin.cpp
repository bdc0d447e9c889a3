// fablix.so: the filter as a frei0r plug-in for FFmpeg, MLT and GStreamer.
// These functions are the library's only exports; each hands its instance
// on to FilterInstance and keeps nothing of its own. The embedded block
// decides what the library is: the editor, or a plug-in built from it.
// The header declares the functions without C linkage.
extern "C" {
#include <frei0r.h>
}

#include "EmbeddedBlock.h"
#include "FilterInstance.h"
#include "HostRows.h"
#include "SlotText.h"

static_assert(F0R_PARAM_BOOL == kKindBool && F0R_PARAM_DOUBLE == kKindDouble && F0R_PARAM_STRING == kKindString);

#define FABLIX_FREI0R_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

FilterInstance& Instance(f0r_instance_t instance) { return *static_cast<FilterInstance*>(instance); }

// A built library's parameters, listed once from its block, which never
// changes: the names that f0r_get_param_info hands out stay valid.
const BuiltParams& LibraryBuiltParams() {
    static const BuiltParams params = [] {
        BuiltParams listed{};
        ListBuiltParams(EmbeddedBlock(), &listed);
        return listed;
    }();
    return params;
}

// Who called: asked again only when a call returns elsewhere.
HostCaller CallerOf(FilterInstance& instance, const void* returnAddress) {
    if (returnAddress != instance.caller) {
        instance.caller = returnAddress;
        instance.callerKind = ClassifyCaller(returnAddress);
        // FFmpeg's frei0r filter hands the time in milliseconds.
        instance.clock =
            instance.callerKind == HostCaller::kLibavfilter ? HostClock::kMilliseconds : HostClock::kSeconds;
    }
    return instance.callerKind;
}

// FFmpeg's frames, rows padded: rendered with the pitches of FFmpeg's frame
// records; where they cannot be found, a width without padding is packed
// and any other frame refused.
void UpdateInLibavfilter(FilterInstance& instance, double time, const uint32_t* in, uint32_t* out,
                         const void* frameAddress) {
    if (in == nullptr || out == nullptr) return;
    FrameRows rows;
    if (FindLibavfilterRows(frameAddress, in, out, instance.width, instance.height, &rows))
        return RenderInstanceRows(instance, time, in, out, rows);
    if (instance.width % kUnpaddedWidths == 0) return RenderInstanceFrame(instance, time, in, out);
    RefuseUnknownRows(instance, out);
}

}  // namespace

FABLIX_FREI0R_EXPORT int f0r_init() { return 1; }

FABLIX_FREI0R_EXPORT void f0r_deinit() {}

FABLIX_FREI0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    const FilterParams& block = EmbeddedBlock();
    const bool built = block.built != 0;
    info->name = built ? SlotTextOr(block.title, "Fablix filter") : "Fablix";
    info->author = built ? SlotTextOr(block.author, "Fablix") : "Fablix";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_BGRA8888;  // the filter's own pixel layout
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    if (built) {
        info->num_params = LibraryBuiltParams().count;
        info->explanation = "A formula filter made with Fablix";
        return;
    }
    info->num_params = kParamCount;
    info->explanation = "Formula filter: one integer formula per colour channel, fed by eight sliders";
}

FABLIX_FREI0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (EmbeddedBlock().built != 0) {
        const BuiltParams& params = LibraryBuiltParams();
        if (index < 0 || index >= params.count) return;
        info->name = params.param[index].name;
        info->type = F0R_PARAM_DOUBLE;
        info->explanation = params.param[index].explanation;
        return;
    }
    const ParamInfo* param = FindParamInfo(index);
    if (param == nullptr) return;
    info->name = param->name;
    info->type = param->kind;
    info->explanation = param->explanation;
}

FABLIX_FREI0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    return MakeFilterInstance(width, height, &EmbeddedBlock(), EmbeddedFramesPerSecond()).release();
}

FABLIX_FREI0R_EXPORT void f0r_destruct(f0r_instance_t instance) { delete static_cast<FilterInstance*>(instance); }

FABLIX_FREI0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t value, int index) {
    if (instance != nullptr && value != nullptr) SetParamValue(Instance(instance), index, value);
}

FABLIX_FREI0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t value, int index) {
    if (instance != nullptr && value != nullptr) GetParamValue(Instance(instance), index, value);
}

FABLIX_FREI0R_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t* in, uint32_t* out) {
    // The caller's registers, which may hold FFmpeg's frame records, are
    // saved in this function's frame, where the search for them looks.
    __builtin_unwind_init();
    if (instance == nullptr) return;
    FilterInstance& self = Instance(instance);
    if (CallerOf(self, __builtin_return_address(0)) == HostCaller::kLibavfilter)
        return UpdateInLibavfilter(self, time, in, out, __builtin_frame_address(0));
    RenderInstanceFrame(self, time, in, out);
}
