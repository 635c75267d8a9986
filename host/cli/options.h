// The command line of quillfire: its commands, and its options in one
// table that the parser and the help read (and that anything else
// describing the command line, such as a shell completion, can read too).
// The settings flags (--seed, --glue, ...) are not in the table: they are
// read by parseSettingFlag and taken by every command that takes settings.
#pragma once

#include "host/cli/settings.h"
#include "host/descriptor.h"
#include "host/filter_host.h"
#include "plugin/host_api.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qf::cli {

// The commands that take options, as bits of OptionEntry::commands.
enum CommandBit : unsigned { kApplyBit = 1u << 0, kRenderBit = 1u << 1, kExportBit = 1u << 2 };

struct Command {
    const char* name;
    const char* synopsis;    // after "quillfire "
    const char* description; // lines indented to the description column
    // Its bit in OptionEntry::commands; 0 for a command that reads its own
    // arguments. An option it does not take is refused.
    unsigned bit;
    bool takesSettings; // the settings flags
};

// Every command, in the order the help lists them.
std::span<const Command> commands();
const Command* findCommand(const std::string& name);
// "apply, render, export, ..."
std::string commandNames();

// What the command line asks for.
struct Options {
    const Command* command = nullptr;
    std::vector<std::string> positional;
    Settings settings;
    std::string maskPath;
    std::string presetPath;
    std::string savePresetPath;
    std::optional<int32_t> quality;      // --quality; an export's default is kExportQuality
    std::optional<double> randomize;     // strength of --randomize
    std::optional<uint32_t> randomState; // --random-state
    std::string modulePath;
    bool printSettings = false;
    bool progress = false;
    bool gray = false;
    bool allowTruncated = false;
    bool dialog = false;           // --dialog: the module shows its dialog
    bool keepTransparency = false; // --keep-transparency: the input's alpha limits the result
    int depth = 0;
    int32_t width = 0, height = 0;
    // Keys of our own that ask the module for an export.
    host::Descriptor extraKeys;
    // The host signature the module sees (an export run says it is ours).
    OSType hostSig = host::HostOptions{}.hostSig;
    std::string progressLabel = "quillfire: rendering";
    // The first name that stood right after an option whose value may be
    // left out (--randomize 2.5 x), and that option: named when there is a
    // name too many.
    std::string strayName, strayAfter;
};

constexpr int32_t kExportQuality = 90;

// One option of the command line.
struct OptionEntry {
    const char* name; // without the leading dashes
    bool takesValue;
    // For a value that may be left out: what it then stands for (the value
    // is taken from "=V", or from the next argument when the option
    // accepts that). Null when the value is required or there is none.
    const char* valueWhenOmitted;
    unsigned commands; // CommandBit of each command that takes it
    const char* help;  // the whole help entry, with its first column
    // Sets what the option asks for in `o`; false with `error` set to one
    // line when `value` is not acceptable. A switch gets an empty value.
    bool (*apply)(Options& o, const std::string& value, std::string& error);
};

// Every option, in the order the help lists them.
std::span<const OptionEntry> optionTable();

// Reads `args` (the command's arguments) into `o`, whose command is set.
// False after printing one line about what is wrong.
bool parseArguments(const std::vector<std::string>& args, Options& o);

// Empty when the command got exactly the names in `names` ("INPUT",
// "OUTPUT"); otherwise one line saying what is missing or which name is
// one too many.
std::string positionalError(const Options& o, const std::vector<std::string>& names);

// The whole help, the few lines bare "quillfire" prints, and that of one
// command.
std::string usage();
std::string shortUsage();
std::string commandUsage(const Command& c);

// Prints "quillfire: message" on stderr.
void fail(const std::string& message);

} // namespace qf::cli
