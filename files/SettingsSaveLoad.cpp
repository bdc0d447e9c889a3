#include "SettingsSaveLoad.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "SafeSave.h"

namespace fs = std::filesystem;

namespace {

// Enough tries to step over temporary files that crashed saves left behind.
constexpr int32_t kTemporaryNameTries = 100;

SettingsFileResult Fail(SettingsOutcome* outcome, SettingsStatus status, SettingsFileResult result) {
    if (outcome) *outcome = SettingsOutcome{status, kSectionNone, 0};
    return result;
}

// Creates a file of a name that is not taken. "x" (C11) refuses to open an
// existing file, so two saves never share a temporary file; a run-time
// library older than C11 refuses "x" itself, and then the name, free a
// moment ago, is opened plainly.
FILE* CreateNewFile(const std::string& name) {
    FILE* file = fopen(name.c_str(), "wbx");
    if (!file && errno == EINVAL) file = fopen(name.c_str(), "wb");
    return file;
}

// Creates the temporary file beside `target`, stepping over names that
// earlier saves left behind.
FILE* CreateTemporaryFile(const std::string& target, std::string* name) {
    for (int32_t n = 0; n < kTemporaryNameTries; ++n) {
        *name = target + "." + std::to_string(n) + ".tmp";
        std::error_code error;
        if (fs::exists(fs::symlink_status(*name, error))) continue;
        FILE* file = CreateNewFile(*name);
        if (file) return file;
        if (errno != EEXIST) break;
    }
    return nullptr;
}

}  // namespace

SettingsFileResult SaveSettingsFile(const char* path, const FilterParams* params, SettingsOutcome* outcome,
                                    int64_t writeRoom) {
    std::error_code error;
    fs::path target(path);
    // Replace the file that a link names, not the link, as writing in place would.
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        fs::path real = fs::canonical(target, error);
        if (!error) target = real;
    }
    const fs::file_status old = fs::status(target, error);
    const bool replacing = fs::exists(old);
    if (replacing) {
        // Writing in place needs a writable file; a rename alone would not
        // ask, and would replace a read-only file or a folder's entry.
        FILE* probe = fopen(target.string().c_str(), "ab");
        if (!probe) return Fail(outcome, kSettingsCannotOpen, kSettingsFileOpenError);
        fclose(probe);
    }

    std::string temporary;
    FILE* file = CreateTemporaryFile(target.string(), &temporary);
    if (!file) return Fail(outcome, kSettingsCannotOpen, kSettingsFileOpenError);

    SettingsStream stream = MakeSettingsStream(file);
    stream.writeRoom = writeRoom;
    SettingsOutcome result;
    RunWriters(&stream, params, &result);
    // Most bytes leave the stream's buffer only in the flush or the close, so
    // a full disk often shows only there. The new file is on the disk before
    // it replaces the old one.
    if (result.status == kSettingsOk && !FlushFileToDisk(file))
        result = SettingsOutcome{kSettingsCloseFailed, kSectionNone, 0};
    if (fclose(file) != 0 && result.status == kSettingsOk)
        result = SettingsOutcome{kSettingsCloseFailed, kSectionNone, 0};
    if (result.status != kSettingsOk) {
        fs::remove(temporary, error);
        if (outcome) *outcome = result;
        return kSettingsFileWriteError;
    }

    if (replacing) fs::permissions(temporary, old.permissions(), error);
    if (!ReplaceWithFile(temporary.c_str(), target.string().c_str())) {
        fs::remove(temporary, error);
        return Fail(outcome, kSettingsCannotReplace, kSettingsFileOpenError);
    }
    if (outcome) *outcome = result;
    return kSettingsFileDone;
}

SettingsFileResult LoadSettingsFile(const char* path, FilterParams* params, SettingsOutcome* outcome,
                                    SettingsNotes* notes) {
    if (notes) memset(notes, 0, sizeof *notes);
    FILE* file = fopen(path, "rb");
    if (!file) return Fail(outcome, kSettingsCannotOpen, kSettingsFileOpenError);
    // The readers store as they go; the copy keeps half a file from the caller.
    FilterParams copy;
    memcpy(&copy, params, sizeof copy);
    SettingsStream stream = MakeSettingsStream(file);
    stream.readRoom = kSettingsFileMaxBytes;
    stream.notes = notes;
    SettingsOutcome result;
    RunReaders(&stream, &copy, &result);
    fclose(file);
    if (outcome) *outcome = result;
    if (result.status != kSettingsOk) {
        if (notes) memset(notes, 0, sizeof *notes);  // nothing of the file was taken
        return kSettingsFileReadError;
    }
    memcpy(params, &copy, sizeof copy);
    return kSettingsFileDone;
}
