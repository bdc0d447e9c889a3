// The build panel: the build dialog's fields and boxes, kept by the build
// dialog of ui/ (its rules uncheck the boxes a click excludes, and its OK
// stores the fields into the block), and the build itself, which is
// `fablix build` run on the block: the same checks, the same writer and the
// same messages as on the command line.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "EditServerParts.h"
#include "RESOURCE.h"
#include "SettingsSaveLoad.h"

extern char** environ;

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr size_t kBuildTextMax = 254;  // the block's text slots, less their terminator

json BuildJson(EditorSession& session) {
    auto& c = session.build.controls;
    json maps = json::array(), sliders = json::array();
    for (int32_t i = 0; i < kMapCount; ++i)
        maps.push_back(json{{"enabled", c[IDC_MAP_ENABLED_0 + i].checked}, {"name", c[IDC_MAP_NAME_TEXT_0 + i].text}});
    for (int32_t j = 0; j < kSliderCount; ++j)
        sliders.push_back(
            json{{"enabled", c[IDC_SLIDER_ENABLED_0 + j].checked}, {"name", c[IDC_SLIDER_NAME_TEXT_0 + j].text}});
    json compact = json::array();
    for (const CompactControl& control : CompactPreview(session))
        compact.push_back(json{{"map", control.map}, {"slider", control.slider}, {"label", control.label}});
    return json{{"module", c[IDC_MODULE_NAME].text},
                {"title", c[IDC_TITLE].text},
                {"author", c[IDC_AUTHOR_TEXT].text},
                {"maps", maps},
                {"sliders", sliders},
                {"compact", compact}};
}

// A text field of the page into build control `id`; false after a 400.
bool TakeField(const json& body, const char* key, int32_t id, EditorSession& session, httplib::Response& response) {
    std::string text;
    if (!TakeString(body, key, text, response)) return false;
    if (text.size() > kBuildTextMax || text.find('\0') != std::string::npos) {
        Refuse(response, 400,
               std::string("'") + key + "' holds at most " + std::to_string(kBuildTextMax) + " bytes and no zero byte");
        return false;
    }
    session.build.controls[id].text = text;
    return true;
}

bool TakeNames(const json& body, const char* key, int32_t firstId, int32_t count, EditorSession& session,
               httplib::Response& response) {
    const auto it = body.find(key);
    if (it == body.end() || !it->is_array() || it->size() != static_cast<size_t>(count)) {
        Refuse(response, 400, std::string("'") + key + "' wants a list of " + std::to_string(count) + " names");
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        const json item{{"name", (*it)[static_cast<size_t>(i)]}};
        if (!TakeField(item, "name", firstId + i, session, response)) return false;
    }
    return true;
}

std::string EnableList(const FilterParams& params) {
    std::string list;
    for (int32_t i = 0; i < kMapCount; ++i)
        if (params.mapEnabled[i]) list += (list.empty() ? "map" : ",map") + std::to_string(i);
    for (int32_t j = 0; j < kSliderCount; ++j)
        if (params.sliderEnabled[j]) list += (list.empty() ? "slider" : ",slider") + std::to_string(j);
    return list;
}

// The command line of `fablix build` for the block, its settings in the
// file `settings`.
std::vector<std::string> BuildArguments(const EditorConfig& config, const FilterParams& params, bool frei0r,
                                        const std::string& settings, bool replace, const std::string& output) {
    std::vector<std::string> arguments{config.toolPath, "build"};
    if (frei0r) arguments.push_back("--frei0r");
    arguments.insert(arguments.end(), {"--settings", settings});
    if (params.singleExpression) arguments.push_back("--single");
    arguments.insert(arguments.end(), {"--title", params.title, "--author", params.author, "--module",
                                       params.moduleName, "--enable", EnableList(params)});
    for (int32_t i = 0; i < kMapCount; ++i)
        arguments.insert(arguments.end(), {"--map", std::to_string(i) + "=" + params.mapName[i]});
    for (int32_t j = 0; j < kSliderCount; ++j)
        arguments.insert(arguments.end(), {"--slider-name", std::to_string(j) + "=" + params.sliderName[j]});
    arguments.push_back(replace ? "-y" : "-n");
    arguments.insert(arguments.end(), {"--", output});
    return arguments;
}

// Runs the program with its standard output and error into `said`; its
// exit status, or -1 when it could not be started.
int32_t RunTool(const std::vector<std::string>& arguments, std::string& said) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        said = std::string("cannot run ") + argv[0] + ": " + std::strerror(spawned);
        return -1;
    }
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        said.append(buffer, static_cast<size_t>(n));
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The build's target: installed for the frei0r hosts, or a file to download.
struct BuildTarget {
    bool frei0r = true;
    bool install = true;
};

bool TakeTarget(const json& body, BuildTarget& target, httplib::Response& response) {
    std::string name;
    if (!TakeString(body, "target", name, response)) return false;
    if (name == "frei0r") return target = {true, true}, true;
    if (name == "frei0r-download") return target = {true, false}, true;
    if (name == "windows-download") return target = {false, false}, true;
    Refuse(response, 400, "'target' is '" + name + "'; it wants frei0r, frei0r-download or windows-download");
    return false;
}

// The page's texts into the build dialog's fields; false after a 400.
bool TakeBuildTexts(const json& body, EditorSession& session, httplib::Response& response) {
    return TakeField(body, "module", IDC_MODULE_NAME, session, response) &&
           TakeField(body, "title", IDC_TITLE, session, response) &&
           TakeField(body, "author", IDC_AUTHOR_TEXT, session, response) &&
           TakeNames(body, "maps", IDC_MAP_NAME_TEXT_0, kMapCount, session, response) &&
           TakeNames(body, "sliders", IDC_SLIDER_NAME_TEXT_0, kSliderCount, session, response);
}

void BuildRequest(EditServerParts& parts, const json& body, httplib::Response& response) {
    EditorSession& session = parts.session;
    BuildTarget target;
    if (!TakeTarget(body, target, response) || !TakeBuildTexts(body, session, response)) return;
    StoreBuildFields(session);
    const FilterParams& params = session.state->params;
    const std::string name = params.moduleName;
    const std::string extension = target.frei0r ? ".so" : ".rvp";
    const std::string scratch = ScratchName(parts, "build");
    std::error_code error;
    std::string output;
    if (target.install) {
        fs::create_directories(parts.config.frei0rFolder, error);
        output = (fs::path(parts.config.frei0rFolder) / (name + extension)).string();
        if (!name.empty() && name.find('/') == std::string::npos && fs::exists(output, error) && !Flag(body, "replace"))
            return Reply(response, 409, json{{"error", "'" + output + "' exists; replace it?"}, {"exists", true}});
    } else {
        fs::create_directories(scratch, error);
        output = (fs::path(scratch) / (name + extension)).string();
    }
    const std::string settings = scratch + ".fbl";
    if (SaveSettingsFile(settings.c_str(), &params) != kSettingsFileDone) {
        RemoveScratch(settings);
        return Refuse(response, 500, "cannot write the settings into " + settings);
    }
    std::string said;
    const int32_t status =
        RunTool(BuildArguments(parts.config, params, target.frei0r, settings, Flag(body, "replace"), output), said);
    RemoveScratch(settings);
    if (status != 0) {
        fs::remove_all(scratch, error);
        return Reply(response, 422, json{{"error", said.empty() ? "the build failed" : said}});
    }
    if (target.install) return Reply(response, 200, json{{"built", output}, {"message", said}});
    const std::string bytes = ReadWhole(output);
    fs::remove_all(scratch, error);
    response.set_header("Content-Disposition", "attachment; filename=\"" + name + extension + "\"");
    response.set_content(bytes, "application/octet-stream");
}

void BoxRequest(EditServerParts& parts, const json& body, httplib::Response& response) {
    const auto it = body.find("id");
    const bool box = it != body.end() && it->is_number_integer() &&
                     ((*it >= IDC_MAP_ENABLED_0 && *it < IDC_MAP_ENABLED_0 + kMapCount) ||
                      (*it >= IDC_SLIDER_ENABLED_0 && *it < IDC_SLIDER_ENABLED_0 + kSliderCount));
    if (!box) return Refuse(response, 400, "'id' wants a box: 510 to 513 for the maps, 520 to 527 for the sliders");
    ClickBuildBox(parts.session, it->get<int32_t>());
    Reply(response, 200, BuildJson(parts.session));
}

}  // namespace

void SetBuildRoutes(EditServerParts& parts) {
    PostJson(parts, "/api/build/open", [](EditServerParts& parts, const json&, httplib::Response& response) {
        OpenBuildDialog(parts.session);
        Reply(response, 200, BuildJson(parts.session));
    });
    PostJson(parts, "/api/build/box", BoxRequest);
    PostJson(parts, "/api/build/fields", [](EditServerParts& parts, const json& body, httplib::Response& response) {
        if (TakeBuildTexts(body, parts.session, response)) Reply(response, 200, BuildJson(parts.session));
    });
    PostJson(parts, "/api/build", BuildRequest);
}
