#include "BlockArguments.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#include "Channels.h"
#include "InputFiles.h"
#include "Messages.h"

namespace {

OptionTake Refused(const std::string& message) {
    UsageError(message);
    return kOptionBad;
}

OptionTake AddFormula(BlockOptions* options, int32_t index, const std::string& text, const std::string& origin) {
    if (CheckFormula(text, origin) != kBlockOk) return kOptionBad;
    BlockEdit edit;
    edit.kind = BlockEdit::kFormula;
    edit.index = index;
    edit.text = text;
    options->edits.push_back(edit);
    return kOptionTaken;
}

// "CH=PATH": the formula file for channel CH, taken byte for byte. No more
// than one byte past what a slot holds is read, so a device or a huge file
// is refused at once.
OptionTake TakeFormulaFile(const std::string& value, BlockOptions* options) {
    const int32_t index = value.size() > 2 && value[1] == '=' ? ChannelIndex(value[0]) : -1;
    if (index < 0) return Refused("--formula-file wants CH=PATH with CH one of b, g, r, a: '" + value + "'");
    const std::string path = value.substr(2);
    const std::string cannotRead = "cannot read formula file '" + path + "': ";
    if (const std::string problem = InputFileProblem(path); !problem.empty()) return Refused(cannotRead + problem);
    std::ifstream file(path, std::ios::binary);
    errno = 0;
    std::string text(kFormulaSlotSize, '\0');
    if (file.is_open()) file.read(text.data(), kFormulaSlotSize);
    if (!file.is_open() || file.bad())
        return Refused(cannotRead + (errno != 0 ? std::generic_category().message(errno) : "read error"));
    text.resize(static_cast<size_t>(file.gcount()));
    const std::string origin = "formula file '" + path + "'";
    if (text.size() >= kFormulaSlotSize)
        return Refused(origin + " holds more than 1023 bytes; a formula holds at most 1023");
    return AddFormula(options, index, text, origin);
}

// "K=V": slider K (0..7) at V (0..255).
OptionTake TakeSlider(const std::string& value, BlockOptions* options) {
    const size_t equals = value.find('=');
    BlockEdit edit;
    edit.kind = BlockEdit::kSlider;
    if (equals == std::string::npos || !ParseNumber(value.substr(0, equals), 0, kSliderCount - 1, &edit.index) ||
        !ParseNumber(value.substr(equals + 1), 0, 255, &edit.value))
        return Refused("--slider wants K=V with K in 0..7 and V in 0..255: '" + value + "'");
    options->edits.push_back(edit);
    return kOptionTaken;
}

OptionTake TakeSettings(const std::string& value, BlockOptions* options) {
    if (!options->settingsPath.empty())
        return Refused("--settings given twice ('" + options->settingsPath + "' and '" + value + "')");
    if (value.empty()) return Refused("--settings wants a file name");
    options->settingsPath = value;
    return kOptionTaken;
}

}  // namespace

OptionTake TakeBlockOption(Arguments& args, BlockOptions* options) {
    const std::string option = args.Peek();
    const bool channelOption = option.size() == 2 && option[0] == '-' && ChannelIndex(option[1]) >= 0;
    const bool known = channelOption || option == "--formula-file" || option == "--slider" || option == "--single" ||
                       option == "--plain" || option == "--settings";
    if (!known) return kNotThisOption;
    args.Take();
    if (option == "--single") {
        options->edits.push_back(BlockEdit{BlockEdit::kSingle, 0, 1, {}});
        return kOptionTaken;
    }
    if (option == "--plain") {
        options->edits.push_back(BlockEdit{BlockEdit::kPlain, 0, 0, {}});
        return kOptionTaken;
    }
    if (args.Done()) return Refused(option + " wants a value");
    const std::string value = args.Take();
    if (channelOption) return AddFormula(options, ChannelIndex(option[1]), value, "formula " + option);
    if (option == "--formula-file") return TakeFormulaFile(value, options);
    if (option == "--settings") return TakeSettings(value, options);
    return TakeSlider(value, options);
}
