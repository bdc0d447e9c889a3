// A frei0r host for the tests: loads fablix.so (or a plug-in built from it)
// by file as FFmpeg, MLT and GStreamer do and calls it only through the f0r_
// functions; beside it the fablix tool's renderer, whose frames the
// plug-in's must equal.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "BlockArguments.h"
#include "ExitCodes.h"
#include "Frame.h"
#include "MediaTestSupport.h"
#include "Renderer.h"

struct Frei0rPlugin {
    decltype(&f0r_init) init = nullptr;
    decltype(&f0r_get_plugin_info) getPluginInfo = nullptr;
    decltype(&f0r_get_param_info) getParamInfo = nullptr;
    decltype(&f0r_construct) construct = nullptr;
    decltype(&f0r_destruct) destruct = nullptr;
    decltype(&f0r_set_param_value) setParamValue = nullptr;
    decltype(&f0r_get_param_value) getParamValue = nullptr;
    decltype(&f0r_update) update = nullptr;
};

// A plug-in's functions, looked up by name after loading it from `path`,
// and initialised; the library stays loaded. All nullptr when it does not
// load.
inline Frei0rPlugin LoadFrei0rPlugin(const std::string& path) {
    Frei0rPlugin p;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return p;
    auto find = [library](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
    };
    find(p.init, "f0r_init");
    find(p.getPluginInfo, "f0r_get_plugin_info");
    find(p.getParamInfo, "f0r_get_param_info");
    find(p.construct, "f0r_construct");
    find(p.destruct, "f0r_destruct");
    find(p.setParamValue, "f0r_set_param_value");
    find(p.getParamValue, "f0r_get_param_value");
    find(p.update, "f0r_update");
    if (p.init) p.init();
    return p;
}

// fablix.so's functions, looked up once.
inline const Frei0rPlugin& Plugin() {
    static const Frei0rPlugin plugin = LoadFrei0rPlugin(FABLIX_FREI0R_PATH);
    return plugin;
}

// One instance, destroyed with the object.
class PluginInstance {
public:
    PluginInstance(int32_t width, int32_t height, const Frei0rPlugin& plugin = Plugin())
        : plugin_(plugin), instance_(plugin.construct(width, height)), width_(width), height_(height) {}
    ~PluginInstance() {
        if (instance_) plugin_.destruct(instance_);
    }
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    bool Made() const { return instance_ != nullptr; }

    void Set(int index, double value) { plugin_.setParamValue(instance_, &value, index); }
    void Set(int index, const std::string& text) {
        f0r_param_string value = const_cast<char*>(text.c_str());
        plugin_.setParamValue(instance_, &value, index);
    }
    double Number(int index) const {
        double value = -12345;
        plugin_.getParamValue(instance_, &value, index);
        return value;
    }
    std::string Text(int index) const {
        f0r_param_string value = nullptr;
        plugin_.getParamValue(instance_, &value, index);
        return value ? value : "(null)";
    }

    // The source frame rendered at `seconds`, as a Frame.
    Frame Render(const Frame& source, double seconds) {
        std::vector<uint32_t> in(size_t(width_) * size_t(height_)), out(in.size(), 0x5A5A5A5Au);
        std::memcpy(in.data(), source.pixels.data(), in.size() * 4);
        plugin_.update(instance_, seconds, in.data(), out.data());
        Frame result;
        MakeFrame(result, width_, height_);
        std::memcpy(result.pixels.data(), out.data(), out.size() * 4);
        return result;
    }

    // The frame rendered over itself, as some hosts call update.
    void RenderInPlace(Frame& frame, double seconds) {
        uint32_t* pixels = reinterpret_cast<uint32_t*>(frame.pixels.data());
        plugin_.update(instance_, seconds, pixels, pixels);
    }

private:
    const Frei0rPlugin& plugin_;
    f0r_instance_t instance_;
    int32_t width_, height_;
};

// The frame `fablix render` makes of `source` with these block options at
// frame `time` of a clip whose last frame is `total`.
inline Frame ToolFrame(const std::vector<std::string>& blockOptions, const Frame& source, int32_t time, int32_t total) {
    Arguments args;
    args.items = blockOptions;
    BlockOptions options;
    while (!args.Done()) EXPECT_EQ(TakeBlockOption(args, &options), kOptionTaken) << args.Peek();
    FilterParams params{};
    EXPECT_EQ(BuildBlock(options, &params), kBlockOk);
    Renderer renderer;
    StartRenderer(renderer, params, 1);
    Frame in = source, out;
    MakeFrame(out, source.width, source.height);
    RenderOneFrame(renderer, in, out, time, total);
    return out;
}

inline bool SameFrame(const Frame& a, const Frame& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}
