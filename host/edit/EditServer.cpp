#include "EditServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/random.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "BlockOptions.h"
#include "CompileCause.h"
#include "EditServerParts.h"
#include "EditorPage.h"
#include "RESOURCE.h"
#include "SettingsSaveLoad.h"
#include "SlotText.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr size_t kPayloadMax = size_t{16} << 20;  // a request body; more is refused before it is read
constexpr size_t kPathMax = 255;                  // the dialogs' path buffers hold 255 characters
constexpr int32_t kPreviewMaxSide = 8192;
constexpr const char* kTokenHeader = "X-Fablix-Token";

// Formulas may hold any byte; JSON text must be UTF-8, so others show as
// U+FFFD.
std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

}  // namespace

EditServer::EditServer() : parts(std::make_unique<EditServerParts>()) {}
EditServer::~EditServer() = default;

void Reply(httplib::Response& response, int status, const nlohmann::json& body) {
    response.status = status;
    response.set_content(Dump(body), "application/json");
}

void Refuse(httplib::Response& response, int status, const std::string& message) {
    Reply(response, status, json{{"error", message}});
}

// The body as a JSON object, or a 400 answer saying why not.
bool ParseBody(const httplib::Request& request, httplib::Response& response, nlohmann::json& body) {
    body = json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        Refuse(response, 400, "the request body is not a JSON object");
        return false;
    }
    return true;
}

bool TakeString(const nlohmann::json& body, const char* key, std::string& value, httplib::Response& response) {
    const auto it = body.find(key);
    if (it == body.end() || !it->is_string()) {
        Refuse(response, 400, std::string("'") + key + "' wants a text");
        return false;
    }
    value = it->get<std::string>();
    return true;
}

bool Flag(const nlohmann::json& body, const char* key) {
    const auto it = body.find(key);
    return it != body.end() && it->is_boolean() && it->get<bool>();
}

std::string ScratchName(EditServerParts& parts, const char* what) {
    return (fs::temp_directory_path() /
            ("fablix-edit-" + std::to_string(getpid()) + "-" + what + "-" + std::to_string(++parts.scratchCount)))
        .string();
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PostJson(EditServerParts& parts, const char* path,
              void (*handler)(EditServerParts&, const nlohmann::json&, httplib::Response&)) {
    parts.http.Post(path, [&parts, handler](const httplib::Request& request, httplib::Response& response) {
        json body;
        if (!ParseBody(request, response, body)) return;
        std::lock_guard<std::mutex> hold(parts.sessionLock);
        handler(parts, body, response);
    });
}

void RemoveScratch(const std::string& path) {
    std::error_code error;
    fs::remove(path, error);
}

namespace {

std::string Text(const char* slot, size_t size) { return std::string(slot, strnlen(slot, size)); }

json StateJson(EditServerParts& parts) {
    EditorSession& session = parts.session;
    const FilterParams& params = session.state->params;
    const InstanceState& state = *session.state;
    json formulas = json::array(), compile = json::array(), sliders = json::array(), maps = json::array();
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        const std::string text = Text(params.formula[i], kFormulaSlotSize);
        formulas.push_back(text);
        json result{{"failed", state.compileFailed[i] != 0},
                    {"visible", session.full.controls[IDC_FORMULA_0 + i].visible}};
        if (state.compileFailed[i] != 0) {
            // Copies: the packed record's fields cannot be bound to references.
            result["start"] = int32_t{state.errorStart[i]};
            result["end"] = int32_t{state.errorEnd[i]};
            result["cause"] = CompileCause(params.formula[i], state.errorStart[i], state.errorEnd[i]);
        }
        compile.push_back(result);
    }
    for (int32_t k = 0; k < kSliderCount; ++k)
        sliders.push_back(json{{"value", int32_t{params.sliderValue[k]}},
                               {"label", session.full.controls[IDC_SLIDER_VALUE_0 + k].text},
                               {"name", Text(params.sliderName[k], kTextSlotSize)}});
    for (int32_t i = 0; i < kMapCount; ++i)
        maps.push_back(json{{"label", session.full.controls[IDC_MAP_NAME_0 + i].text},
                            {"name", Text(params.mapName[i], kTextSlotSize)}});
    return json{{"formulas", formulas},
                {"compile", compile},
                {"single", params.singleExpression != 0},
                {"sliders", sliders},
                {"maps", maps},
                {"title", Text(params.title, kTextSlotSize)},
                {"last", parts.last},
                {"width", parts.width},
                {"height", parts.height},
                {"version", session.version},
                {"settingsPath", parts.config.settingsPath},
                {"input", parts.config.input.empty() ? "the built-in test clip" : parts.config.input}};
}

// body[key] as an integer in [lo, hi], or a 400 answer.
bool TakeInteger(const json& body, const char* key, int64_t lo, int64_t hi, int64_t& value,
                 httplib::Response& response) {
    const auto it = body.find(key);
    if (it == body.end() || !it->is_number_integer()) {
        Refuse(response, 400,
               std::string("'") + key + "' wants a whole number from " + std::to_string(lo) + " to " +
                   std::to_string(hi));
        return false;
    }
    value = it->get<int64_t>();
    if (value < lo || value > hi) {
        Refuse(response, 400,
               std::string("'") + key + "' is " + std::to_string(value) + "; it wants " + std::to_string(lo) + " to " +
                   std::to_string(hi));
        return false;
    }
    return true;
}

// Why `path` may not be read or written from the page, or "": it names a
// settings file the user typed, with no ".." that could climb out of where
// they meant.
std::string PathProblem(const std::string& path) {
    if (path.empty()) return "no file name given";
    if (path.size() > kPathMax) return "the path is longer than " + std::to_string(kPathMax) + " characters";
    if (path.find('\0') != std::string::npos) return "the path holds a zero byte";
    for (const fs::path& part : fs::path(path))
        if (part == "..") return "the path holds '..'; give the folder itself";
    return "";
}

std::string WithExtension(const std::string& path) { return fs::path(path).has_extension() ? path : path + ".fbl"; }

// --- the frames

bool FrameTime(const httplib::Request& request, httplib::Response& response, int32_t last, int32_t& time) {
    if (!request.has_param("t")) {
        time = 0;
        return true;
    }
    const std::string text = request.get_param_value("t");
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || errno != 0 || value < 0 || value > last) {
        Refuse(response, 400, "t is '" + text + "'; it wants a frame from 0 to " + std::to_string(last));
        return false;
    }
    time = static_cast<int32_t>(value);
    return true;
}

// Renders the frame at the request's time for the block as it stands, with
// the frame lock held by the caller.
bool RenderRequested(EditServerParts& parts, const httplib::Request& request, httplib::Response& response) {
    int32_t time = 0;
    if (!FrameTime(request, response, parts.last, time)) return false;
    FilterParams params;
    uint64_t version = 0;
    {
        std::lock_guard<std::mutex> hold(parts.sessionLock);
        params = parts.session.state->params;
        version = parts.session.version;
    }
    std::string message;
    if (!RenderEditorFrame(parts.frames, params, version, time, message)) {
        Refuse(response, 500, message);
        return false;
    }
    response.set_header("X-Fablix-Version", std::to_string(version));
    return true;
}

int32_t SizeParam(const httplib::Request& request, const char* key, int32_t fallback) {
    if (!request.has_param(key)) return fallback;
    const int64_t value = std::atoll(request.get_param_value(key).c_str());
    return static_cast<int32_t>(std::clamp<int64_t>(value, 1, std::min(fallback, kPreviewMaxSide)));
}

void ServeRaw(EditServerParts& parts, const httplib::Request& request, httplib::Response& response, bool original) {
    std::lock_guard<std::mutex> hold(parts.frameLock);
    if (!RenderRequested(parts, request, response)) return;
    const Frame& frame = original ? OriginalFrame(parts.frames) : parts.frames.filtered;
    const int32_t width = SizeParam(request, "w", frame.width);
    const int32_t height = SizeParam(request, "h", frame.height);
    std::vector<uint8_t> rgba;
    ScaleToRgba(frame, width, height, rgba);
    response.set_header("X-Width", std::to_string(width));
    response.set_header("X-Height", std::to_string(height));
    response.set_content(reinterpret_cast<const char*>(rgba.data()), rgba.size(), "application/octet-stream");
}

void ServePng(EditServerParts& parts, const httplib::Request& request, httplib::Response& response) {
    std::lock_guard<std::mutex> hold(parts.frameLock);
    if (!RenderRequested(parts, request, response)) return;
    std::vector<uint8_t> png;
    std::string message;
    if (!EncodeFramePng(parts.frames.filtered, png, message)) return Refuse(response, 500, message);
    response.set_content(reinterpret_cast<const char*>(png.data()), png.size(), "image/png");
}

// --- the block

void EditFormulaRequest(EditServerParts& parts, const json& body, httplib::Response& response) {
    int64_t index = 0;
    std::string text;
    if (!TakeInteger(body, "index", 0, kFormulaCount - 1, index, response) || !TakeString(body, "text", text, response))
        return;
    if (text.size() >= kFormulaSlotSize)
        return Refuse(response, 400,
                      "the formula holds " + std::to_string(text.size()) + " bytes; a formula holds at most " +
                          std::to_string(kFormulaSlotSize - 1));
    if (text.find('\0') != std::string::npos) return Refuse(response, 400, "the formula holds a zero byte");
    EditFormula(parts.session, static_cast<int32_t>(index), text);
    Reply(response, 200, StateJson(parts));
}

void MoveSliderRequest(EditServerParts& parts, const json& body, httplib::Response& response) {
    int64_t index = 0, value = 0;
    if (!TakeInteger(body, "index", 0, kSliderCount - 1, index, response) ||
        !TakeInteger(body, "value", 0, 255, value, response))
        return;
    MoveSlider(parts.session, static_cast<int32_t>(index), static_cast<int32_t>(value));
    Reply(response, 200, StateJson(parts));
}

void SingleRequest(EditServerParts& parts, const json& body, httplib::Response& response) {
    const auto it = body.find("on");
    if (it == body.end() || !it->is_boolean()) return Refuse(response, 400, "'on' wants true or false");
    SetSingleExpression(parts.session, it->get<bool>());
    Reply(response, 200, StateJson(parts));
}

// Where and why the file cannot be read, in the tool's words, as a second
// line under the dialog's message.
std::string LoadProblem(const std::string& path) {
    auto params = std::make_unique<FilterParams>();
    SettingsOutcome outcome{};
    errno = 0;
    const SettingsFileResult result = LoadSettingsFile(path.c_str(), params.get(), &outcome);
    return SettingsLoadMessage(path, result, outcome, errno);
}

// The dialog's answer: its box, or the state that the file brought.
void SettingsAnswer(EditServerParts& parts, const std::string& boxes, httplib::Response& response) {
    json state = StateJson(parts);
    if (!boxes.empty()) state["error"] = boxes;
    Reply(response, boxes.empty() ? 200 : 422, state);
}

void LoadRequest(EditServerParts& parts, const json& body, httplib::Response& response) {
    std::string path;
    if (!TakeString(body, "path", path, response)) return;
    if (const std::string problem = PathProblem(path); !problem.empty()) return Refuse(response, 400, problem);
    const std::string boxes = LoadSettingsFrom(parts.session, path);
    if (boxes.empty()) parts.config.settingsPath = path;
    SettingsAnswer(parts, boxes.empty() ? boxes : boxes + "\n" + LoadProblem(path), response);
}

void SaveRequest(EditServerParts& parts, const json& body, httplib::Response& response) {
    std::string path;
    if (!TakeString(body, "path", path, response)) return;
    if (const std::string problem = PathProblem(path); !problem.empty()) return Refuse(response, 400, problem);
    path = WithExtension(path);
    std::error_code error;
    if (fs::exists(path, error) && !Flag(body, "replace"))
        return Reply(response, 409, json{{"error", "'" + path + "' exists; replace it?"}, {"exists", true}});
    if (fs::is_directory(path, error)) return Refuse(response, 400, "'" + path + "' is a folder");
    const std::string boxes = SaveSettingsTo(parts.session, path);
    if (boxes.empty()) parts.config.settingsPath = path;
    SettingsAnswer(parts, boxes, response);
}

void UploadRequest(EditServerParts& parts, const httplib::Request& request, httplib::Response& response) {
    if (request.body.size() > kSettingsFileMaxBytes)
        return Refuse(response, 413,
                      "a settings file holds at most " + std::to_string(kSettingsFileMaxBytes) + " bytes");
    const std::string scratch = ScratchName(parts, "upload") + ".fbl";
    {
        std::ofstream out(scratch, std::ios::binary);
        out.write(request.body.data(), static_cast<std::streamsize>(request.body.size()));
        if (!out.flush()) {
            RemoveScratch(scratch);
            return Refuse(response, 500, "cannot keep the upload in " + scratch);
        }
    }
    const std::string boxes = LoadSettingsFrom(parts.session, scratch);
    RemoveScratch(scratch);
    SettingsAnswer(parts, boxes, response);
}

void DownloadRequest(EditServerParts& parts, httplib::Response& response) {
    const std::string scratch = ScratchName(parts, "download") + ".fbl";
    if (SaveSettingsFile(scratch.c_str(), &parts.session.state->params) != kSettingsFileDone) {
        RemoveScratch(scratch);
        return Refuse(response, 500, "cannot write the settings into " + scratch);
    }
    const std::string bytes = ReadWhole(scratch);
    RemoveScratch(scratch);
    const std::string name = parts.config.settingsPath.empty()
                                 ? std::string("settings.fbl")
                                 : fs::path(parts.config.settingsPath).filename().string();
    response.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    response.set_content(bytes, "application/octet-stream");
}

}  // namespace

namespace {

bool SameToken(const std::string& given, const std::string& token) {
    if (given.size() != token.size() || token.empty()) return false;
    unsigned char difference = 0;  // the same time whatever the first wrong digit
    for (size_t i = 0; i < token.size(); ++i) difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

// Only this machine's names: a page of another site under a name that
// resolves to 127.0.0.1 sends its own name.
bool LocalHost(const std::string& host, int32_t port) {
    const std::string suffix = ":" + std::to_string(port);
    for (const char* name : {"127.0.0.1", "localhost"})
        if (host == name || host == name + suffix) return true;
    return false;
}

httplib::Server::HandlerResponse Admit(EditServerParts& parts, int32_t port, const httplib::Request& request,
                                       httplib::Response& response) {
    if (!LocalHost(request.get_header_value("Host"), port)) {
        Refuse(response, 403, "this server answers only requests for 127.0.0.1 or localhost");
        return httplib::Server::HandlerResponse::Handled;
    }
    const std::string given =
        request.has_param("token") ? request.get_param_value("token") : request.get_header_value(kTokenHeader);
    if (!SameToken(given, parts.config.token)) {
        Refuse(response, 403, "the token is missing or wrong: open the address that `fablix edit` printed");
        return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

void SetRoutes(EditServerParts& parts, int32_t port) {
    httplib::Server& http = parts.http;
    http.set_payload_max_length(kPayloadMax);

    http.set_default_headers({{"Cache-Control", "no-store"},
                              {"X-Content-Type-Options", "nosniff"},
                              {"X-Frame-Options", "DENY"},
                              {"Referrer-Policy", "no-referrer"}});
    http.set_pre_routing_handler([&parts, port](const httplib::Request& request, httplib::Response& response) {
        return Admit(parts, port, request, response);
    });
    http.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return;
        const std::string why = response.status == 413   ? "the request is larger than 16 MiB"
                                : response.status == 404 ? "no such page or endpoint"
                                                         : "the request cannot be served";
        Refuse(response, response.status, why);
    });
    http.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_header(
            "Content-Security-Policy",
            "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
            "img-src 'self' blob: data:; connect-src 'self'; form-action 'none'; frame-ancestors 'none'");
        response.set_content(EditorPageHtml(), "text/html; charset=utf-8");
    });
    http.Get("/api/state", [&parts](const httplib::Request&, httplib::Response& response) {
        std::lock_guard<std::mutex> hold(parts.sessionLock);
        Reply(response, 200, StateJson(parts));
    });
    http.Get("/frame.png", [&parts](const httplib::Request& request, httplib::Response& response) {
        ServePng(parts, request, response);
    });
    http.Get("/frame.raw", [&parts](const httplib::Request& request, httplib::Response& response) {
        ServeRaw(parts, request, response, false);
    });
    http.Get("/original.raw", [&parts](const httplib::Request& request, httplib::Response& response) {
        ServeRaw(parts, request, response, true);
    });
    PostJson(parts, "/api/formula", EditFormulaRequest);
    PostJson(parts, "/api/slider", MoveSliderRequest);
    PostJson(parts, "/api/single", SingleRequest);
    PostJson(parts, "/api/load", LoadRequest);
    PostJson(parts, "/api/save", SaveRequest);
    http.Post("/api/upload", [&parts](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard<std::mutex> hold(parts.sessionLock);
        UploadRequest(parts, request, response);
    });
    http.Get("/api/download", [&parts](const httplib::Request&, httplib::Response& response) {
        std::lock_guard<std::mutex> hold(parts.sessionLock);
        DownloadRequest(parts, response);
    });
    SetBuildRoutes(parts);
}

}  // namespace

std::string MakeToken() {
    unsigned char bytes[16];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return "";
    static const char kDigits[] = "0123456789abcdef";
    std::string token;
    for (unsigned char byte : bytes) {
        token += kDigits[byte >> 4];
        token += kDigits[byte & 15];
    }
    return token;
}

bool StartEditServer(EditServer& server, const EditorConfig& config, const FilterParams& params, int32_t port,
                     std::string& message) {
    EditServerParts& parts = *server.parts;
    parts.config = config;
    if (parts.config.token.empty()) {
        message = "no random source for the token";
        return false;
    }
    if (!OpenEditorFrames(parts.frames, config.input, message)) return false;
    parts.width = parts.frames.source.frame.width;
    parts.height = parts.frames.source.frame.height;
    parts.last = LastFrame(parts.frames);
    StartEditorSession(parts.session, params, parts.last);
    // Without the library's SO_REUSEPORT, which would let another program of
    // this user listen on the same port and take part of the requests.
    parts.http.set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        // Answers leave at once (the accepted sockets inherit it): with
        // Nagle's rule an answer's body waits behind its headers for the
        // browser's delayed acknowledgement, 40 ms a request.
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    });
    const int bound =
        port == 0 ? parts.http.bind_to_any_port("127.0.0.1") : (parts.http.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) {
        message = "cannot listen on 127.0.0.1" + (port == 0 ? std::string() : ":" + std::to_string(port)) + ": " +
                  std::strerror(errno);
        return false;
    }
    server.port = bound;
    SetRoutes(parts, bound);
    return true;
}

bool RunEditServer(EditServer& server) { return server.parts->http.listen_after_bind(); }

void StopEditServer(EditServer& server) { server.parts->http.stop(); }
