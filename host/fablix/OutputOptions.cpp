#include "OutputOptions.h"

#include <sys/stat.h>

#include "ExitCodes.h"
#include "Messages.h"

OptionTake TakeOverwriteOption(Arguments& args, OverwritePolicy* policy) {
    const std::string& option = args.Peek();
    if (option == "-y" || option == "--overwrite") {
        *policy = kReplaceExisting;
    } else if (option == "-n" || option == "--no-overwrite") {
        *policy = kKeepExisting;
    } else {
        return kNotThisOption;
    }
    args.Take();
    return kOptionTaken;
}

bool NameExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

ExitCode RefuseExistingOutput(const std::string& path, OverwritePolicy policy, const std::string& why) {
    if (policy == kReplaceExisting || !NameExists(path)) return kExitOk;
    if (!why.empty()) return UsageError("'" + path + "' exists and " + why + "; give -y (--overwrite) to replace it");
    return UsageError("'" + path + "' exists; give -y (--overwrite) to replace it, or choose another name");
}
