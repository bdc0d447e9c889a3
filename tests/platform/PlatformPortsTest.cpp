// The platform ports beside the resources, on both platforms: the program's
// own file, the loaded-module test, file mapping, the two steps of a safe
// save, and the services record that carries them to ui/ and builder/.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>

#include "FileMapping.h"
#include "OwnModule.h"
#include "PlatformServices.h"
#include "SafeSave.h"
#include "Threads.h"

#if !defined(_WIN32)
#include <sched.h>
#endif

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
const char kOwnFileName[] = "resource_tests.exe";
#else
const char kOwnFileName[] = "platform_tests";
#endif

std::string ReadAll(const fs::path& path) {
    std::string bytes;
    FILE* file = std::fopen(path.string().c_str(), "rb");
    if (!file) return "<missing>";
    for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<char>(c));
    std::fclose(file);
    return bytes;
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    FILE* file = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// A folder of its own for each test, removed afterwards.
class PlatformFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code error;
        folder_ = fs::temp_directory_path(error) /
                  (std::string("fablix-platform-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_, error);
        ASSERT_TRUE(fs::create_directories(folder_, error));
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(folder_, error);
    }
    fs::path folder_;
};

TEST(OwnModule, OwnFilePathNamesThisProgramAndRefusesASmallBuffer) {
    char path[1024];
    const int32_t length = OwnFilePath(path, sizeof path);
    ASSERT_GT(length, 0);
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(path));
    EXPECT_EQ(fs::path(path).filename().string(), kOwnFileName);
    EXPECT_TRUE(fs::exists(path));

    char small[8] = "xxxxxxx";
    EXPECT_EQ(OwnFilePath(small, sizeof small), -1);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(OwnFilePath(path, length), -1);  // no room for the terminator
    EXPECT_EQ(OwnFilePath(path, length + 1), length);
}

TEST(OwnModule, LoadedModulesAreFoundByNameWithOrWithoutExtension) {
    struct Case {
        const char* name;
        bool loaded;
    };
#if defined(_WIN32)
    const Case cases[] = {{"REELINFO", true}, {"reelinfo.dll", true},  {"KERNEL32.DLL", true},
                          {"FL-Fabx", false}, {"nosuchmodule", false}, {"", false}};
#else
    const Case cases[] = {{"libREELINFO", true}, {"libreelinfo.so", true}, {"libREELINFO.so.9", false},
                          {"FL-Fabx", false},    {"nosuchmodule", false},  {"", false}};
#endif
    for (const Case& c : cases) EXPECT_EQ(IsModuleLoaded(c.name), c.loaded) << c.name;
    EXPECT_FALSE(IsModuleLoaded(nullptr));
}

TEST_F(PlatformFiles, AWritableMappingChangesTheFile) {
    const fs::path path = folder_ / "image.bin";
    WriteAll(path, "abcdefgh");
    MappedFile mapped;
    ASSERT_TRUE(MapFile(path.string().c_str(), true, &mapped));
    ASSERT_EQ(mapped.size, 8);
    EXPECT_EQ(std::memcmp(mapped.bytes, "abcdefgh", 8), 0);
    mapped.bytes[0] = 'X';
    mapped.bytes[7] = 'Y';
    EXPECT_TRUE(UnmapFile(&mapped));
    EXPECT_EQ(mapped.bytes, nullptr);
    EXPECT_EQ(ReadAll(path), "XbcdefgY");
    EXPECT_TRUE(UnmapFile(&mapped));  // nothing mapped any more
}

TEST_F(PlatformFiles, AReadMappingShowsTheFileAndMissingOrEmptyFilesMapNothing) {
    const fs::path path = folder_ / "plain.bin";
    WriteAll(path, "0123");
    MappedFile mapped;
    ASSERT_TRUE(MapFile(path.string().c_str(), false, &mapped));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped.bytes), 4), "0123");
    EXPECT_TRUE(UnmapFile(&mapped));

    const fs::path empty = folder_ / "empty.bin";
    WriteAll(empty, "");
    for (const fs::path& p : {empty, folder_ / "missing.bin", folder_}) {
        EXPECT_FALSE(MapFile(p.string().c_str(), true, &mapped)) << p;
        EXPECT_EQ(mapped.bytes, nullptr);
        EXPECT_EQ(mapped.size, 0);
    }
}

TEST_F(PlatformFiles, ReplaceWithFileTakesThePlaceOfTheOldFile) {
    const fs::path from = folder_ / "new.tmp";
    const fs::path to = folder_ / "settings.fbl";
    WriteAll(to, "old contents, longer than the new ones");
    FILE* file = std::fopen(from.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
    EXPECT_TRUE(FlushFileToDisk(file));
    std::fclose(file);

    EXPECT_TRUE(ReplaceWithFile(from.string().c_str(), to.string().c_str()));
    EXPECT_EQ(ReadAll(to), "new");
    EXPECT_FALSE(fs::exists(from));

    // Nothing to move: the target stays as it is.
    EXPECT_FALSE(ReplaceWithFile(from.string().c_str(), to.string().c_str()));
    EXPECT_EQ(ReadAll(to), "new");
    // Into a folder that does not exist: the source stays.
    WriteAll(from, "again");
    EXPECT_FALSE(ReplaceWithFile(from.string().c_str(), (folder_ / "no" / "x.fbl").string().c_str()));
    EXPECT_EQ(ReadAll(from), "again");
}

// The dialogs and the builder call every entry without a test for null, so
// an entry the wiring forgets would be a crash at the first Build or box.
TEST(PlatformServices, FillsEveryEntry) {
    using Entry = void (*)();
    static_assert(sizeof(Services) % sizeof(Entry) == 0, "the record holds only functions");
    Entry entries[sizeof(Services) / sizeof(Entry)];
    std::memcpy(entries, &PlatformServices(), sizeof entries);
    for (size_t i = 0; i < std::size(entries); ++i) EXPECT_NE(entries[i], nullptr) << "entry " << i;
}

// Which thread ran each share: the address of a thread-local variable is
// that thread's own.
thread_local int tThreadMarker;
constexpr int32_t kMostShares = kMaxStartedThreads + 4;
struct Calls {
    std::atomic<int32_t> count[kMostShares];
    const int* where[kMostShares];
};
void Record(void* context, int32_t k) {
    Calls& calls = *static_cast<Calls*>(context);
    ++calls.count[k];
    calls.where[k] = &tThreadMarker;
}

TEST(Threads, EveryShareRunsOnceTheFirstAndThoseBeyondTheLimitOnTheCallingThread) {
    for (int32_t count : {1, 2, 5, kMaxStartedThreads + 1, kMostShares}) {
        Calls calls{};
        RunOnStartedThreads(nullptr, count, Record, &calls);
        for (int32_t k = 0; k < kMostShares; ++k) EXPECT_EQ(calls.count[k], k < count ? 1 : 0) << count << ": " << k;
        EXPECT_EQ(calls.where[0], &tThreadMarker) << count;
        if (count > 1) EXPECT_NE(calls.where[1], &tThreadMarker) << count;
        for (int32_t k = kMaxStartedThreads + 1; k < count; ++k) EXPECT_EQ(calls.where[k], &tThreadMarker) << k;
    }
}

TEST(Threads, UsableProcessorsFollowTheAffinity) {
    EXPECT_GE(UsableProcessors(), 1);
#if !defined(_WIN32)
    cpu_set_t all, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(UsableProcessors(), CPU_COUNT(&all));
    int32_t first = 0;
    while (!CPU_ISSET(first, &all)) ++first;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(UsableProcessors(), 1);
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
#endif
}

}  // namespace
