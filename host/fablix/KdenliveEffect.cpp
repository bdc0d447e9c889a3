#include "KdenliveEffect.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstring>

extern "C" {
#include <frei0r.h>
}

namespace {

// The frei0r functions a description needs.
struct Frei0rFunctions {
    int (*init)();
    void (*deinit)();
    void (*pluginInfo)(f0r_plugin_info_t*);
    void (*paramInfo)(f0r_param_info_t*, int);
    f0r_instance_t (*construct)(unsigned int, unsigned int);
    void (*destruct)(f0r_instance_t);
    void (*getParam)(f0r_instance_t, f0r_param_t, int);
};

template <class F>
bool Find(void* library, const char* name, F* function) {
    *function = reinterpret_cast<F>(dlsym(library, name));
    return *function != nullptr;
}

bool FindAll(void* library, Frei0rFunctions* f) {
    return Find(library, "f0r_init", &f->init) && Find(library, "f0r_deinit", &f->deinit) &&
           Find(library, "f0r_get_plugin_info", &f->pluginInfo) && Find(library, "f0r_get_param_info", &f->paramInfo) &&
           Find(library, "f0r_construct", &f->construct) && Find(library, "f0r_destruct", &f->destruct) &&
           Find(library, "f0r_get_param_value", &f->getParam);
}

std::string Escaped(const char* text) {
    std::string escaped;
    for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) {
        switch (*c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += *c;
        }
    }
    return escaped;
}

// A number as Kdenlive reads it: no exponent, no trailing zeros.
std::string Number(double value) {
    if (!std::isfinite(value)) value = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    std::string number = text;
    number.erase(number.find_last_not_of('0') + 1);
    if (number.back() == '.') number.pop_back();
    return number == "-0" ? "0" : number;
}

constexpr double kSliderFactor = 255;  // a slider's frei0r value is its position / 255
constexpr int32_t kProbeSize = 16;     // the instance that reports the defaults
constexpr double kMaxFramesPerSecond = 1000;
constexpr double kMaxClipFrames = 100000000;

// One <parameter>, or "" for a kind Kdenlive cannot edit.
std::string Parameter(int32_t index, const f0r_param_info_t& info, double value) {
    const std::string head = "  <parameter name=\"" + std::to_string(index) + "\" ";
    const std::string tail = "    <name>" + Escaped(info.name) + "</name>\n    <comment>" + Escaped(info.explanation) +
                             "</comment>\n  </parameter>\n";
    const std::string name = info.name != nullptr ? info.name : "";
    if (info.type == F0R_PARAM_STRING)
        return name == "settings" ? head + "type=\"url\" filter=\"Settings files (*.fbl)\" default=\"\">\n" + tail : "";
    if (info.type == F0R_PARAM_BOOL)
        return head + "type=\"bool\" default=\"" + (value >= 0.5 ? "1" : "0") + "\">\n" + tail;
    if (info.type != F0R_PARAM_DOUBLE) return "";
    // The plain forms the plug-in takes (1 and up): frames per second, frames.
    if (name == "frame-rate")
        return head + "type=\"constant\" default=\"25\" min=\"1\" max=\"" + Number(kMaxFramesPerSecond) +
               "\" decimals=\"3\">\n" + tail;
    if (name == "clip-length")
        return head + "type=\"constant\" default=\"250\" min=\"1\" max=\"" + Number(kMaxClipFrames) + "\">\n" + tail;
    // A slider below 0 keeps the settings file's position: -1 offers that.
    const double shown = std::round(value * kSliderFactor);
    const std::string low = shown < 0 ? "-1" : "0";
    return head + "type=\"animated\" default=\"" + (shown < 0 ? "-1" : Number(shown)) + "\" min=\"" + low +
           "\" max=\"255\" factor=\"" + Number(kSliderFactor) + "\">\n" + tail;
}

std::string Describe(const Frei0rFunctions& f, const std::string& service, std::string* problem) {
    f0r_plugin_info_t plugin{};
    f.pluginInfo(&plugin);
    if (plugin.plugin_type != F0R_PLUGIN_TYPE_FILTER) {
        *problem = "it is not a frei0r filter";
        return "";
    }
    f0r_instance_t instance = f.construct(kProbeSize, kProbeSize);
    if (instance == nullptr) {
        *problem = "it would not make an instance";
        return "";
    }
    const std::string tag = "frei0r." + Escaped(service.c_str());
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE kpartgui>\n<effect tag=\"" + tag +
                      "\" id=\"" + tag + "\">\n  <name>" + Escaped(plugin.name) + "</name>\n  <description>" +
                      Escaped(plugin.explanation) + "</description>\n  <author>" + Escaped(plugin.author) +
                      "</author>\n";
    for (int32_t i = 0; i < plugin.num_params; ++i) {
        f0r_param_info_t info{};
        f.paramInfo(&info, i);
        double value = 0;
        if (info.type == F0R_PARAM_BOOL || info.type == F0R_PARAM_DOUBLE) f.getParam(instance, &value, i);
        xml += Parameter(i, info, value);
    }
    f.destruct(instance);
    return xml + "</effect>\n";
}

}  // namespace

std::string KdenliveEffect(const std::string& pluginPath, const std::string& service, std::string* problem) {
    // A path without a slash would be looked up in the library path.
    const std::string path = pluginPath.find('/') == std::string::npos ? "./" + pluginPath : pluginPath;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = dlerror();
        *problem = std::string("it cannot be loaded: ") + (error != nullptr ? error : "unknown error");
        return "";
    }
    Frei0rFunctions functions{};
    std::string xml;
    if (!FindAll(library, &functions)) {
        *problem = "it lacks the frei0r functions";
    } else if (functions.init() == 0) {
        *problem = "its f0r_init failed";
    } else {
        xml = Describe(functions, service, problem);
        functions.deinit();
    }
    dlclose(library);
    return xml;
}

std::string KdenliveEffectFileName(const std::string& service) { return "frei0r_" + service + ".xml"; }
