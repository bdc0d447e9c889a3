#include "WriterTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "PlatformServices.h"
#include "Resources.h"

namespace {

// The tests run one at a time; the ports are plain functions, so what they
// need lives here.
std::string gOwnPath;
FailingStep gFailing = FailingStep::kNone;
int32_t gOpenHandles = 0;

int32_t OwnPath(char* buffer, int32_t capacity) {
    if (gOwnPath.size() >= static_cast<size_t>(capacity)) return -1;
    memcpy(buffer, gOwnPath.c_str(), gOwnPath.size() + 1);
    return static_cast<int32_t>(gOwnPath.size());
}

CopyHandle Counted(CopyHandle handle) {
    if (handle != kNoCopyHandle) ++gOpenHandles;
    return handle;
}

CopyHandle CreateTarget(const char* path) {
    return gFailing == FailingStep::kCreateTarget ? kNoCopyHandle : Counted(PlatformServices().createCopyTarget(path));
}
CopyHandle OpenSource(const char* path) {
    return gFailing == FailingStep::kOpenSource ? kNoCopyHandle : Counted(PlatformServices().openCopySource(path));
}
bool Copy(CopyHandle source, CopyHandle target) {
    return gFailing == FailingStep::kCopy ? false : PlatformServices().copyAll(source, target);
}
void CloseCopy(CopyHandle handle) {
    --gOpenHandles;
    PlatformServices().closeCopyHandle(handle);
}
bool MapTarget(const char* path, bool writable, MappedFile* file) {
    if (gFailing == FailingStep::kMapTarget || !PlatformServices().mapFile(path, writable, file)) return false;
    ++gOpenHandles;
    return true;
}
bool UnmapTarget(MappedFile* file) {
    --gOpenHandles;
    return PlatformServices().unmapFile(file) && gFailing != FailingStep::kUnmapTarget;
}

void RecordError(const char* caption, const char* text) { Messages().push_back({true, caption, text}); }
void RecordInformation(const char* caption, const char* text) { Messages().push_back({false, caption, text}); }

}  // namespace

Services RecordingPorts(const std::string& ownPath, FailingStep failing) {
    gOwnPath = ownPath;
    gFailing = failing;
    gOpenHandles = 0;
    Messages().clear();
    Services services = PlatformServices();
    services.ownFilePath = OwnPath;
    services.createCopyTarget = CreateTarget;
    services.openCopySource = OpenSource;
    services.copyAll = Copy;
    services.closeCopyHandle = CloseCopy;
    services.mapFile = MapTarget;
    services.unmapFile = UnmapTarget;
    services.errorBox = RecordError;
    services.informationBox = RecordInformation;
    return services;
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
