// The editor's server over the loopback interface: its safety rules, its
// answers to bad requests, every endpoint, concurrent requests, and its
// frames and builds against the tool's own commands.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <atomic>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "BlockOptions.h"
#include "EditServer.h"
#include "Png.h"
#include "ToolTestSupport.h"

using nlohmann::json;

namespace {

// A server on a free port of 127.0.0.1, serving on a thread of its own for
// the length of a test.
class Editor {
public:
    explicit Editor(const std::string& input = "", const std::string& frei0rFolder = "") {
        FilterParams params;
        EXPECT_EQ(LoadDefaultBlock(&params), kBlockOk);
        config.input = input;
        config.toolPath = FABLIX_PATH;
        config.frei0rFolder = frei0rFolder;
        config.token = MakeToken();
        std::string message;
        started = StartEditServer(server, config, params, 0, message);
        EXPECT_TRUE(started) << message;
        if (started) serving = std::thread([this] { RunEditServer(server); });
    }
    ~Editor() {
        if (!started) return;
        StopEditServer(server);
        serving.join();
    }

    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", server.port);
        client.set_read_timeout(60, 0);
        return client;
    }
    httplib::Headers Token() const { return {{"X-Fablix-Token", config.token}}; }
    std::string WithToken(const std::string& path) const {
        return path + (path.find('?') == std::string::npos ? "?" : "&") + "token=" + config.token;
    }

    // POST of a JSON body with the token: the status and the answer.
    std::pair<int, json> Post(const std::string& path, const std::string& body) const {
        auto result = Client().Post(path.c_str(), Token(), body, "application/json");
        if (!result) return {0, json()};
        return {result->status, json::parse(result->body, nullptr, false)};
    }
    std::pair<int, json> Post(const std::string& path, const json& body) const { return Post(path, body.dump()); }
    json State() const {
        auto result = Client().Get("/api/state", Token());
        return result ? json::parse(result->body, nullptr, false) : json();
    }
    std::string Get(const std::string& path, int* status = nullptr) const {
        auto result = Client().Get(WithToken(path).c_str());
        if (status) *status = result ? result->status : 0;
        return result ? result->body : "";
    }

    EditorConfig config;
    EditServer server;
    bool started = false;
    std::thread serving;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(EditServerSafety, TokenAndHostRules) {
    Editor editor;
    const std::string port = std::to_string(editor.server.port);
    struct Case {
        const char* what;
        std::string host;
        bool token;
        int status;
    } cases[] = {
        {"no token", "127.0.0.1:" + port, false, 403},
        {"token, own address", "127.0.0.1:" + port, true, 200},
        {"token, localhost", "localhost:" + port, true, 200},
        {"token, localhost without port", "localhost", true, 200},
        {"token, another site", "evil.example:" + port, true, 403},
        {"token, a name that resolves here", "127.0.0.1.nip.io:" + port, true, 403},
        {"token, another port", "127.0.0.1:1", true, 403},
    };
    for (const Case& c : cases) {
        httplib::Headers headers{{"Host", c.host}};
        if (c.token) headers.emplace("X-Fablix-Token", editor.config.token);
        auto result = editor.Client().Get("/api/state", headers);
        ASSERT_TRUE(result) << c.what;
        EXPECT_EQ(result->status, c.status) << c.what;
    }
    // A wrong token of the right length, and the token in the query.
    std::string wrong = editor.config.token;
    wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
    EXPECT_EQ(editor.Client().Get(("/?token=" + wrong).c_str())->status, 403);
    EXPECT_EQ(editor.Client().Get(("/?token=" + editor.config.token).c_str())->status, 200);
    for (const char* path : {"/", "/frame.png", "/frame.raw", "/api/download"})
        EXPECT_EQ(editor.Client().Get(path)->status, 403) << path;
    EXPECT_EQ(editor.Client().Post("/api/formula", R"({"index":0,"text":"1"})", "application/json")->status, 403);
}

TEST(EditServerSafety, NoPermissiveCors) {
    Editor editor;
    httplib::Headers headers = editor.Token();
    headers.emplace("Origin", "http://evil.example");
    auto result = editor.Client().Get("/api/state", headers);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->has_header("Access-Control-Allow-Origin"));
    auto preflight = editor.Client().Options("/api/formula", headers);
    ASSERT_TRUE(preflight);
    EXPECT_FALSE(preflight->has_header("Access-Control-Allow-Origin"));
}

TEST(EditServerSafety, BadRequestsChangeNothing) {
    Editor editor;
    const json before = editor.State();
    const std::string huge(10 << 20, 'x');
    struct Case {
        const char* path;
        std::string body;
        int status;
        const char* says;
    } cases[] = {
        {"/api/formula", "{\"index\":0,", 400, "not a JSON object"},
        {"/api/formula", "[1,2]", 400, "not a JSON object"},
        {"/api/formula", json{{"index", 0}, {"text", huge}}.dump(), 400, "at most 1023"},
        {"/api/formula", json{{"index", 4}, {"text", "1"}}.dump(), 400, "'index' is 4"},
        {"/api/formula", json{{"index", 0}, {"text", 5}}.dump(), 400, "'text' wants a text"},
        {"/api/formula", json{{"index", 0}, {"text", std::string("1\0", 2)}}.dump(), 400, "zero byte"},
        {"/api/slider", json{{"index", 0}, {"value", 999}}.dump(), 400, "'value' is 999"},
        {"/api/slider", json{{"index", 0}, {"value", -1}}.dump(), 400, "'value' is -1"},
        {"/api/slider", json{{"index", 8}, {"value", 1}}.dump(), 400, "'index' is 8"},
        {"/api/slider", json{{"index", 0}, {"value", 1.5}}.dump(), 400, "whole number"},
        {"/api/single", json{{"on", 1}}.dump(), 400, "true or false"},
        {"/api/load", json{{"path", "../x.fbl"}}.dump(), 400, "'..'"},
        {"/api/save", json{{"path", "a/../../x.fbl"}}.dump(), 400, "'..'"},
        {"/api/save", json{{"path", ""}}.dump(), 400, "no file name"},
        {"/api/save", json{{"path", std::string(300, 'p')}}.dump(), 400, "longer than 255"},
        {"/api/build/box", json{{"id", 999}}.dump(), 400, "wants a box"},
        {"/api/build", json{{"target", "elsewhere"}}.dump(), 400, "wants frei0r"},
        {"/api/nothing", "{}", 404, "no such"},
    };
    for (const Case& c : cases) {
        const auto [status, answer] = editor.Post(c.path, c.body);
        EXPECT_EQ(status, c.status) << c.path << " " << c.body.substr(0, 60);
        EXPECT_PRED2(Holds, answer.value("error", ""), c.says) << c.path;
    }
    int status = 0;
    editor.Get("/frame.png?t=48", &status);
    EXPECT_EQ(status, 400);
    editor.Get("/frame.raw?t=-1", &status);
    EXPECT_EQ(status, 400);
    editor.Get("/frame.png?t=1x", &status);
    EXPECT_EQ(status, 400);
    EXPECT_EQ(editor.State(), before);
}

// Bodies cut and bytes changed at places a simple generator picks: every
// answer is an answer, and the server goes on serving.
TEST(EditServerSafety, SurvivesMangledBodies) {
    Editor editor;
    const std::string valid[] = {R"j({"index":1,"text":"x*2+sin(y)"})j", R"({"index":3,"value":200})", R"({"on":true})",
                                 R"({"path":"a.fbl","replace":false})", R"({"id":511})"};
    const char* paths[] = {"/api/formula", "/api/slider", "/api/single", "/api/load", "/api/build/box"};
    uint32_t state = 12345;
    const auto next = [&state] { return state = state * 1103515245u + 12345u; };
    for (int round = 0; round < 300; ++round) {
        const size_t which = next() % 5;
        std::string body = valid[which];
        body.resize(next() % (body.size() + 1));
        for (int k = next() % 4; k > 0 && !body.empty(); --k) body[next() % body.size()] = char(next() >> 24);
        const auto [status, answer] = editor.Post(paths[which], body);
        EXPECT_TRUE(status == 200 || status == 400 || status == 422) << status << " " << body;
    }
    EXPECT_TRUE(editor.State().is_object());
}

TEST(EditServerEndpoints, PageCarriesTheControlsOfTheContract) {
    Editor editor;
    int status = 0;
    const std::string page = editor.Get("/", &status);
    EXPECT_EQ(status, 200);
    for (const char* id : {"formula-b", "formula-g", "formula-r", "formula-a", "single", "time", "play", "preview",
                           "error-0", "error-3", "save", "load", "build"})
        EXPECT_PRED2(Holds, page, std::string("id=\"") + id + "\"");
    EXPECT_FALSE(Holds(page, "/*EDITOR-SCRIPT*/"));  // the script is in place
    EXPECT_FALSE(Holds(page, "http://"));            // and nothing is fetched from elsewhere
}

// The cause and span of a formula that fails are those `fablix compile` prints.
TEST(EditServerEndpoints, CompileOnEditGivesTheToolsDiagnostics) {
    Editor editor;
    ScratchFolder folder;
    const char* formulas[] = {"x+", "min(1)", "foo*2", "sin", "1 2", "(x"};
    for (const char* formula : formulas) {
        const auto [status, answer] = editor.Post("/api/formula", json{{"index", 2}, {"text", formula}});
        ASSERT_EQ(status, 200) << formula;
        const json& result = answer["compile"][2];
        ASSERT_TRUE(result["failed"].get<bool>()) << formula;
        const ToolRun run = RunTool({"compile", "-r", formula}, folder);
        const std::string line = "characters " + std::to_string(result["start"].get<int>()) + ".." +
                                 std::to_string(result["end"].get<int>()) + ": " + result["cause"].get<std::string>();
        EXPECT_PRED2(Holds, run.out, line) << formula;
        EXPECT_EQ(answer["formulas"][2], formula);
    }
    const auto [status, answer] = editor.Post("/api/formula", json{{"index", 2}, {"text", "x*2"}});
    EXPECT_EQ(status, 200);
    EXPECT_FALSE(answer["compile"][2]["failed"].get<bool>());
    EXPECT_FALSE(answer["compile"][2].contains("cause"));
}

TEST(EditServerEndpoints, SlidersSingleAndLabels) {
    Editor editor;
    const auto [status, answer] = editor.Post("/api/slider", json{{"index", 3}, {"value", 200}});
    ASSERT_EQ(status, 200);
    EXPECT_EQ(answer["sliders"][3]["value"], 200);
    EXPECT_EQ(answer["sliders"][3]["label"], "200");
    EXPECT_EQ(answer["sliders"][0]["value"], 21);  // the others keep the default block's
    EXPECT_EQ(answer["maps"][1]["label"], "Map 1");
    const auto [singleStatus, single] = editor.Post("/api/single", json{{"on", true}});
    ASSERT_EQ(singleStatus, 200);
    EXPECT_TRUE(single["single"].get<bool>());
    // The dialog hides formulas 0 to 2; formula 3 feeds every channel.
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(single["compile"][i]["visible"].get<bool>()) << i;
    EXPECT_TRUE(single["compile"][3]["visible"].get<bool>());
    EXPECT_GT(single["version"].get<int>(), answer["version"].get<int>());
}

// A still and a clip as INPUT: the frame endpoint's PNG is byte for byte
// what `fablix render --time T` writes for the same block.
TEST(EditServerFrames, FramePngIsWhatRenderWrites) {
    ScratchFolder folder;
    ASSERT_EQ(RunTool({"render", "--time", "5", "in.png"}, folder).exitCode, 0);
    ASSERT_EQ(
        RunTool({"render", "-b", "b", "-g", "g", "-r", "r", "-a", "a", "--frames", "0:9", "in.mkv"}, folder).exitCode,
        0);
    struct Case {
        const char* input;
        int32_t time;
    } cases[] = {{"in.png", 0}, {"in.mkv", 0}, {"in.mkv", 7}, {"in.mkv", 3}};
    Editor still(folder / "in.png"), clip(folder / "in.mkv");
    for (Editor* editor : {&still, &clip}) {
        ASSERT_EQ(editor->Post("/api/formula", json{{"index", 0}, {"text", "b*t/9+ctl(2)"}}).first, 200);
        ASSERT_EQ(editor->Post("/api/formula", json{{"index", 1}, {"text", "x^y+t"}}).first, 200);
        ASSERT_EQ(editor->Post("/api/slider", json{{"index", 2}, {"value", 77}}).first, 200);
        ASSERT_EQ(editor->Post("/api/save", json{{"path", folder / "s.fbl"}, {"replace", true}}).first, 200);
    }
    EXPECT_EQ(clip.State()["last"], 9);
    for (const Case& c : cases) {
        Editor& editor = std::string(c.input) == "in.png" ? still : clip;
        int status = 0;
        const std::string png = editor.Get("/frame.png?t=" + std::to_string(c.time), &status);
        ASSERT_EQ(status, 200);
        const ToolRun run =
            RunTool({"render", "--settings", "s.fbl", "--time", std::to_string(c.time), "-y", c.input, "out.png"},
                    folder);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(png == ReadFile(folder / "out.png")) << c.input << " at " << c.time;
    }
    // The raw preview at full size holds the same pixels, as RGBA.
    int status = 0;
    const std::string raw = clip.Get("/frame.raw?t=3", &status);
    std::string message;
    Frame frame;
    ASSERT_EQ(RunTool({"render", "--settings", "s.fbl", "--time", "3", "-y", "in.mkv", "out.png"}, folder).exitCode, 0);
    ASSERT_EQ(ReadPng((folder / "out.png").c_str(), frame, message), kMediaOk);
    ASSERT_EQ(raw.size(), size_t(frame.width) * frame.height * 4);
    const uint8_t* p = FramePixel(frame, 5, 4);
    const size_t at = (size_t(4) * frame.width + 5) * 4;
    EXPECT_EQ(uint8_t(raw[at]), p[2]);
    EXPECT_EQ(uint8_t(raw[at + 2]), p[0]);
}

TEST(EditServerFrames, ScaledPreviewAndOriginal) {
    Editor editor;
    auto result = editor.Client().Get(editor.WithToken("/frame.raw?t=2&w=160&h=90").c_str());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->get_header_value("X-Width"), "160");
    EXPECT_EQ(result->get_header_value("X-Height"), "90");
    EXPECT_EQ(result->body.size(), size_t(160 * 90 * 4));
    // The identity filter shows the original itself.
    for (int i = 0; i < 4; ++i) editor.Post("/api/formula", json{{"index", i}, {"text", std::string(1, "bgra"[i])}});
    const std::string filtered = editor.Get("/frame.raw?t=2&w=160&h=90");
    const std::string original = editor.Get("/original.raw?t=2&w=160&h=90");
    EXPECT_EQ(filtered.size(), original.size());
    EXPECT_TRUE(filtered == original);
}

TEST(EditServerFiles, SaveAsksBeforeReplacingAndLoadRestores) {
    ScratchFolder folder;
    Editor editor;
    const std::string path = folder / "mine";
    editor.Post("/api/formula", json{{"index", 1}, {"text", "x+y"}});
    auto [status, answer] = editor.Post("/api/save", json{{"path", path}});
    ASSERT_EQ(status, 200) << answer.dump();
    EXPECT_EQ(answer["settingsPath"], path + ".fbl");  // the default extension
    const std::string saved = ReadFile(path + ".fbl");
    EXPECT_EQ(saved.substr(0, 9), "%RGB-1.0\r");
    editor.Post("/api/formula", json{{"index", 1}, {"text", "7"}});
    std::tie(status, answer) = editor.Post("/api/save", json{{"path", path + ".fbl"}});
    EXPECT_EQ(status, 409);
    EXPECT_TRUE(answer["exists"].get<bool>());
    EXPECT_EQ(ReadFile(path + ".fbl"), saved);  // unchanged until confirmed
    std::tie(status, answer) = editor.Post("/api/load", json{{"path", path + ".fbl"}});
    EXPECT_EQ(status, 200);
    EXPECT_EQ(answer["formulas"][1], "x+y");
    std::tie(status, answer) = editor.Post("/api/save", json{{"path", path + ".fbl"}, {"replace", true}});
    EXPECT_EQ(status, 200);
    // A file that is no settings file: the dialog's message, the block kept.
    { std::ofstream(folder / "bad.fbl") << "not settings\r"; }
    const json before = editor.State();
    std::tie(status, answer) = editor.Post("/api/load", json{{"path", folder / "bad.fbl"}});
    EXPECT_EQ(status, 422);
    EXPECT_PRED2(Holds, answer.value("error", ""), "read from the settings file");
    EXPECT_EQ(answer["formulas"], before["formulas"]);
    std::tie(status, answer) = editor.Post("/api/load", json{{"path", folder / "none.fbl"}});
    EXPECT_EQ(status, 422);
    EXPECT_PRED2(Holds, answer.value("error", ""), "open the settings file");
}

TEST(EditServerFiles, UploadAndDownload) {
    ScratchFolder folder;
    Editor editor;
    ASSERT_EQ(RunTool({"save", "-g", "y*3", "--slider", "5=250", "up.fbl"}, folder).exitCode, 0);
    const std::string upload = ReadFile(folder / "up.fbl");
    auto result = editor.Client().Post("/api/upload", editor.Token(), upload, "application/octet-stream");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    const json state = editor.State();
    EXPECT_EQ(state["formulas"][1], "y*3");
    EXPECT_EQ(state["sliders"][5]["value"], 250);
    auto download = editor.Client().Get("/api/download", editor.Token());
    ASSERT_TRUE(download);
    EXPECT_EQ(download->status, 200);
    EXPECT_PRED2(Holds, download->get_header_value("Content-Disposition"), "attachment");
    EXPECT_TRUE(download->body == upload);
    auto bad = editor.Client().Post("/api/upload", editor.Token(), "garbage", "application/octet-stream");
    EXPECT_EQ(bad->status, 422);
    EXPECT_EQ(editor.State()["formulas"], state["formulas"]);
}

TEST(EditServerBuild, BoxesFollowTheBuildDialogsRules) {
    Editor editor;
    ASSERT_EQ(editor.Post("/api/build/open", json::object()).first, 200);
    // The default block offers sliders 0 to 5.
    auto [status, fields] = editor.Post("/api/build/box", json{{"id", 526}});  // slider 6 on
    EXPECT_TRUE(fields["sliders"][6]["enabled"].get<bool>());
    EXPECT_FALSE(fields["sliders"][7]["enabled"].get<bool>());
    std::tie(status, fields) = editor.Post("/api/build/box", json{{"id", 513}});  // map 3 on: sliders 6 and 7 off
    EXPECT_TRUE(fields["maps"][3]["enabled"].get<bool>());
    EXPECT_FALSE(fields["sliders"][6]["enabled"].get<bool>());
    std::tie(status, fields) = editor.Post("/api/build/box", json{{"id", 527}});  // slider 7 on: map 3 off
    EXPECT_FALSE(fields["maps"][3]["enabled"].get<bool>());
    EXPECT_TRUE(fields["sliders"][7]["enabled"].get<bool>());
    std::tie(status, fields) = editor.Post("/api/build/box", json{{"id", 520}});  // slider 0 off: nothing else
    EXPECT_FALSE(fields["sliders"][0]["enabled"].get<bool>());
    EXPECT_TRUE(fields["sliders"][1]["enabled"].get<bool>());
    EXPECT_FALSE(fields["maps"][0]["enabled"].get<bool>());
    // The built plug-in's own dialog, by the compact dialog's rule: map 0
    // names its two sliders with one label, the others keep their names.
    std::tie(status, fields) = editor.Post("/api/build/box", json{{"id", 510}});
    const json compact = json::parse(R"([{"map":0,"slider":0,"label":"Map 0"},{"map":-1,"slider":2,"label":"Greenx"},
        {"map":-1,"slider":3,"label":"Greeny"},{"map":-1,"slider":4,"label":"Bluex"},
        {"map":-1,"slider":5,"label":"Bluey"},{"map":-1,"slider":7,"label":"Slider 7:"}])");
    EXPECT_EQ(fields["compact"], compact);
}

json BuildBody(const std::string& module, const std::string& target) {
    return json{{"target", target},
                {"module", module},
                {"title", "Edit test " + module},
                {"author", "tests"},
                {"maps", {"m0", "m1", "m2", "m3"}},
                {"sliders", {"s0", "s1", "s2", "s3", "s4", "s5", "s6", "s7"}}};
}

TEST(EditServerBuild, WritesThePluginsAsTheBuildCommandDoes) {
    ScratchFolder folder;
    Editor editor("", folder / "frei0r");
    ASSERT_EQ(editor.Post("/api/build/open", json::object()).first, 200);
    editor.Post("/api/build/box", json{{"id", 510}});  // map 0 on, sliders 0 and 1 off
    auto [status, answer] = editor.Post("/api/build", BuildBody("edtest", "frei0r"));
    ASSERT_EQ(status, 200) << answer.dump();
    EXPECT_EQ(answer["built"], folder / "frei0r/edtest.so");
    EXPECT_PRED2(Holds, answer["message"].get<std::string>(),
                 "title \"Edit test edtest\", controls: map0, slider2, slider3, slider4, slider5\n");
    const std::string first = ReadFile(folder / "frei0r/edtest.so");
    EXPECT_EQ(first.substr(1, 3), "ELF");
    std::tie(status, answer) = editor.Post("/api/build", BuildBody("edtest", "frei0r"));
    EXPECT_EQ(status, 409);  // never replaced unless confirmed
    json replace = BuildBody("edtest", "frei0r");
    replace["replace"] = true;
    std::tie(status, answer) = editor.Post("/api/build", replace);
    EXPECT_EQ(status, 200) << answer.dump();
    // The build command's own checks and words.
    std::tie(status, answer) = editor.Post("/api/build", BuildBody("", "frei0r"));
    EXPECT_EQ(status, 422);
    EXPECT_PRED2(Holds, answer.value("error", ""), "module name is empty");
    editor.Post("/api/formula", json{{"index", 0}, {"text", "x+"}});
    std::tie(status, answer) = editor.Post("/api/build", BuildBody("edfail", "frei0r"));
    EXPECT_EQ(status, 422);
    EXPECT_PRED2(Holds, answer.value("error", ""), "does not compile");
    editor.Post("/api/formula", json{{"index", 0}, {"text", "b"}});
    auto windows = editor.Client().Post("/api/build", editor.Token(), BuildBody("edwin", "windows-download").dump(),
                                        "application/json");
    ASSERT_TRUE(windows);
    ASSERT_EQ(windows->status, 200) << windows->body;
    EXPECT_EQ(windows->body.substr(0, 2), "MZ");
    EXPECT_PRED2(Holds, windows->get_header_value("Content-Disposition"), "edwin.rvp");
}

TEST(EditServerConcurrency, ManyClientsAtOnce) {
    Editor editor;
    std::atomic<int> failures{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&editor, &failures, c] {
            for (int k = 0; k < 15; ++k) {
                int status = 0;
                if (c % 2 == 0) {
                    editor.Get("/frame.raw?t=" + std::to_string((c * 15 + k) % 48) + "&w=64&h=36", &status);
                } else {
                    status = editor.Post("/api/slider", json{{"index", c}, {"value", k * 10}}).first;
                }
                if (status != 200) ++failures;
            }
        });
    }
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(failures.load(), 0);
    const json state = editor.State();
    EXPECT_EQ(state["sliders"][1]["value"], 140);
    EXPECT_EQ(state["sliders"][3]["value"], 140);
}

}  // namespace

namespace {

// `fablix edit` as a user starts it: its first line, its answers, and the
// stop on Ctrl-C.
struct EditProcess {
    pid_t pid = -1;
    int out = -1;
    std::string firstLine;
};

EditProcess StartEdit(const std::vector<std::string>& arguments) {
    int ends[2];
    EditProcess process;
    if (pipe(ends) != 0) return process;
    process.pid = fork();
    if (process.pid == 0) {
        dup2(ends[1], 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        std::vector<char*> argv{const_cast<char*>(FABLIX_PATH), const_cast<char*>("edit")};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        execv(FABLIX_PATH, argv.data());
        _exit(127);
    }
    close(ends[1]);
    process.out = ends[0];
    // The first line, waited for at most a minute.
    for (char c = 0; c != '\n';) {
        pollfd ready{process.out, POLLIN, 0};
        if (poll(&ready, 1, 60000) <= 0 || read(process.out, &c, 1) != 1) break;
        if (c != '\n') process.firstLine += c;
    }
    return process;
}

// The exit code after the signal, waited for at most a minute; -1 when it
// did not end.
int StopEdit(EditProcess& process, int signal) {
    kill(process.pid, signal);
    int status = 0;
    for (int waited = 0; waited < 600; ++waited) {
        if (waitpid(process.pid, &status, WNOHANG) == process.pid) {
            close(process.out);
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        usleep(100000);
    }
    kill(process.pid, SIGKILL);
    waitpid(process.pid, &status, 0);
    close(process.out);
    return -1;
}

TEST(EditCommand, PrintsItsAddressServesAndStopsOnCtrlC) {
    for (int signal : {SIGINT, SIGTERM}) {
        EditProcess process = StartEdit({"--no-browser"});
        ASSERT_GT(process.pid, 0);
        const std::regex address(R"(http://127\.0\.0\.1:([0-9]+)/\?token=([0-9a-f]{32}))");
        std::smatch match;
        ASSERT_TRUE(std::regex_match(process.firstLine, match, address)) << process.firstLine;
        httplib::Client client("127.0.0.1", std::stoi(match[1]));
        auto state = client.Get(("/api/state?token=" + match[2].str()).c_str());
        ASSERT_TRUE(state);
        EXPECT_EQ(state->status, 200);
        EXPECT_EQ(json::parse(state->body)["last"], 47);  // the built-in test clip
        EXPECT_EQ(StopEdit(process, signal), 0) << signal;
    }
}

TEST(EditCommand, RefusesWhatItCannotDo) {
    ScratchFolder folder;
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        const char* says;
    } cases[] = {
        {{"--port", "0"}, 2, "--port wants a port from 1 to 65535"},
        {{"--port", "70000"}, 2, "--port wants a port from 1 to 65535"},
        {{"--frobnicate"}, 2, "unknown option '--frobnicate'"},
        {{"a.png", "b.png"}, 2, "edit takes one INPUT"},
        {{"--settings", "missing.fbl"}, 2, "missing.fbl"},
        {{"missing.png", "--no-browser"}, 1, "missing.png"},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunTool(Joined({"edit"}, c.arguments), folder);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments[0];
        EXPECT_PRED2(Holds, run.err, c.says);
        EXPECT_EQ(run.out, "");
    }
    // A port that another program listens on, even one that would share it.
    const int other = socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    setsockopt(other, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    ASSERT_EQ(bind(other, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(other, 1), 0);
    ASSERT_EQ(getsockname(other, reinterpret_cast<sockaddr*>(&at), &length), 0);
    const int port = ntohs(at.sin_port);
    const ToolRun taken = RunTool({"edit", "--no-browser", "--port", std::to_string(port)}, folder);
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_PRED2(Holds, taken.err, "cannot listen on 127.0.0.1:" + std::to_string(port));
    close(other);
}

}  // namespace
