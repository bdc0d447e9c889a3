#include "WriterTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "BuilderPlatform.h"
#include "Resources.h"

namespace {

// The tests run one at a time; the ports are plain functions, so what they
// need lives here.
std::string gOwnPath;
FailingStep gFailing = FailingStep::kNone;
BuilderPorts gPlatform{};
int32_t gOpenHandles = 0;

int32_t OwnPath(char* buffer, int32_t capacity) {
    if (gOwnPath.size() >= static_cast<size_t>(capacity)) return 1;
    memcpy(buffer, gOwnPath.c_str(), gOwnPath.size() + 1);
    return 0;
}

PortHandle Counted(PortHandle handle) {
    if (handle != kNoPortHandle) ++gOpenHandles;
    return handle;
}

template <FailingStep step>
PortHandle OpenUnless(PortHandle (*open)(const char*), const char* path) {
    return gFailing == step ? kNoPortHandle : Counted(open(path));
}

PortHandle CreateTarget(const char* path) {
    return OpenUnless<FailingStep::kCreateTarget>(gPlatform.createCopyTarget, path);
}
PortHandle OpenSource(const char* path) {
    return OpenUnless<FailingStep::kOpenSource>(gPlatform.openCopySource, path);
}
PortHandle OpenForUpdate(const char* path) {
    return OpenUnless<FailingStep::kOpenForUpdate>(gPlatform.openForUpdate, path);
}
int32_t Copy(PortHandle source, PortHandle target) {
    return gFailing == FailingStep::kCopy ? 1 : gPlatform.copyAll(source, target);
}
PortHandle CreateMapping(PortHandle file) {
    return gFailing == FailingStep::kCreateMapping ? kNoPortHandle : Counted(gPlatform.createMapping(file));
}
uint8_t* MapView(PortHandle mapping, size_t* size) {
    if (gFailing == FailingStep::kMapView) return nullptr;
    uint8_t* view = gPlatform.mapView(mapping, size);
    if (view) ++gOpenHandles;
    return view;
}
void CloseCopy(PortHandle handle) {
    --gOpenHandles;
    gPlatform.closeCopyHandle(handle);
}
void Unmap(uint8_t* view, size_t size) {
    --gOpenHandles;
    gPlatform.unmapView(view, size);
}
void CloseMapping(PortHandle mapping) {
    --gOpenHandles;
    gPlatform.closeMapping(mapping);
}
void CloseFile(PortHandle file) {
    --gOpenHandles;
    gPlatform.closeFile(file);
}

void RecordError(const char* caption, const char* text) { Messages().push_back({true, caption, text}); }
void RecordInformation(const char* caption, const char* text) { Messages().push_back({false, caption, text}); }

}  // namespace

BuilderPorts RecordingPorts(const std::string& ownPath, FailingStep failing) {
    gPlatform = PlatformBuilderPorts();
    gOwnPath = ownPath;
    gFailing = failing;
    gOpenHandles = 0;
    Messages().clear();
    BuilderPorts ports = gPlatform;
    ports.ownFilePath = OwnPath;
    ports.createCopyTarget = CreateTarget;
    ports.openCopySource = OpenSource;
    ports.copyAll = Copy;
    ports.closeCopyHandle = CloseCopy;
    ports.openForUpdate = OpenForUpdate;
    ports.createMapping = CreateMapping;
    ports.mapView = MapView;
    ports.unmapView = Unmap;
    ports.closeMapping = CloseMapping;
    ports.closeFile = CloseFile;
    ports.showError = RecordError;
    ports.showInformation = RecordInformation;
    return ports;
}

std::vector<ShownMessage>& Messages() {
    static std::vector<ShownMessage> messages;
    return messages;
}

int32_t OpenPortHandles() { return gOpenHandles; }

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fablix-builder-XXXXXX").string();
    path = std::string(mkdtemp(pattern.data())) + "/";
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code error;
    std::filesystem::remove_all(path, error);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

std::string MessageText(int32_t id, const std::string& argument) {
    char text[256];
    LoadResourceString(id, text, sizeof text);
    std::string message = text;
    const size_t mark = message.find("%s");
    if (mark != std::string::npos) message.replace(mark, 2, argument);
    return message;
}

FilterParams PatternBlock(const char* title, const char* moduleName, int32_t hasControls) {
    FilterParams block;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(&block);
    for (size_t i = 0; i < sizeof block; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    block.built = 0;
    block.hasControls = hasControls;
    snprintf(block.title, sizeof block.title, "%s", title);
    snprintf(block.moduleName, sizeof block.moduleName, "%s", moduleName);
    return block;
}
