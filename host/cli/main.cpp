// quillfire: runs the filter module on image files without an editor.
#include "host/cli/document_image.h"
#include "host/cli/dots_command.h"
#include "host/cli/file_util.h"
#include "host/cli/gallery_command.h"
#include "host/cli/image_io.h"
#include "host/cli/presets_bridge.h"
#include "host/cli/progress_bar.h"
#include "host/cli/random_look.h"
#include "host/cli/sample_picture.h"
#include "host/cli/settings.h"
#include "host/filter_host.h"
#include "host/module_loader.h"
#include "platform/safe_write.h"
#include "values/result_codes.h"
#include "values/version.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace qf {}
using namespace qf;

namespace {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitCancelled = 130 };

// Options that take a value, and those that do not. Which of them a command
// takes is in its entry of kCommands.
const char* const kValueOptions[] = {"mask",   "module",      "size",    "depth",
                                     "preset", "save-preset", "quality", "random-state"};
const char* const kSwitches[] = {"print-settings", "progress", "gray", "allow-truncated", "dialog"};

struct Command {
    const char* name;
    const char* synopsis;    // after "quillfire "
    const char* description; // lines indented to the description column
    // Options it takes besides the settings flags (which apply, render and
    // export take); an option it does not take is refused.
    std::vector<const char*> options;
    bool takesSettings;
};

// Every command, in the order the help lists them.
const Command kCommands[] = {
    {"apply",
     "apply INPUT OUTPUT [settings] [--mask FILE] [options]",
     "filters INPUT and writes OUTPUT with the input's depth (8-bit, 16-bit\n"
     "or 32-bit float) and channels (gray, gray + alpha, RGB, RGBA); alpha\n"
     "is editable transparency. --mask limits the filter to a selection.",
     {"mask", "module", "preset", "save-preset", "print-settings", "progress", "allow-truncated",
      "randomize", "random-state", "dialog"},
     true},
    {"render",
     "render --size WxH OUTPUT [--depth D] [--gray] [settings] [options]",
     "renders onto a new opaque white document (8-bit RGB unless --depth or\n"
     "--gray say otherwise).",
     {"size", "depth", "gray", "mask", "module", "preset", "save-preset", "print-settings",
      "progress", "allow-truncated", "randomize", "random-state"},
     true},
    {"export",
     "export INPUT OUTPUT [--size WxH] [--quality Q] [settings] [options]",
     "has the module render the pattern over a copy of the whole of INPUT\n"
     "and write it as a JPEG file (.jpg, .jpeg) or as a layered PSD file\n"
     "(.psd: the pattern as a layer with its transparency, at INPUT's depth,\n"
     "each side 2 to 30000); INPUT is unchanged. There is no\n"
     "selection: the pattern covers the whole picture, and --mask is\n"
     "refused. --size (default: INPUT's size) sets the picture's size;\n"
     "INPUT is copied at its own scale from the top-left corner, cropped\n"
     "when the picture is smaller and continued with its edge pixels when\n"
     "it is larger. The file appears only once complete: a failed or\n"
     "cancelled export leaves an existing OUTPUT as it was.",
     {"size", "quality", "module", "preset", "print-settings", "progress", "allow-truncated",
      "randomize", "random-state"},
     true},
    {"gallery",
     "gallery FOLDER PAGE.html | gallery --dots INPUT PAGE.html [--open]",
     "writes a web page of the pictures of every presets file (.sa9) in\n"
     "FOLDER, five to a row, with the pictures in a web_images folder beside\n"
     "the page. With --dots: a page of every filled memory dot, each\n"
     "rendered over a copy of INPUT at 300 pixels on the larger side, four\n"
     "to a row (--module PATH: the filter module to render with). Prints\n"
     "the page's path; --open then opens it with the desktop's browser.",
     {},
     false},
    {"dots",
     "dots list | dots show N | dots apply N INPUT OUTPUT [options]",
     "the memory dots kept in the filter's dialog (the files in the temporary\n"
     "folder): list shows every filled dot's settings as flags, show N one\n"
     "dot's and its file, apply N filters INPUT with dot N's settings as\n"
     "apply --preset would (flags given as well take precedence).",
     {},
     false},
    {"sample", "sample OUTPUT", "writes the bundled 512x384 8-bit RGB sample picture.", {}, false},
};

const Command* findCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// "apply, render, export, sample"
std::string commandNames() {
    std::string names;
    for (const Command& c : kCommands) names += std::string(names.empty() ? "" : ", ") + c.name;
    return names;
}

std::string indented(const char* text, size_t indent) {
    std::string out(indent, ' ');
    for (const char* p = text; *p; ++p) {
        out += *p;
        if (*p == '\n') out.append(indent, ' ');
    }
    return out + "\n";
}

const char kSettingsHelp[] =
    "Settings (only those given are passed on; the module uses its defaults for\n"
    "the rest):\n"
    "  --seed N              random seed, any 32-bit number\n"
    "  --shape NAME|N        circles, diamonds, squares, octagons, TVs, fleurons,\n"
    "                        points (1-7)\n"
    "  --stripe-kind K       a, b, c, d (1-4)\n"
    "  --merge N             1 to 4\n"
    "  --glue NAME|N         glue mode by name or number, from the list below\n"
    "  --overlap N  --stripes N  --warping N  --softness N  --doublure N\n"
    "  --color N  --zoom N  --complexity N  --hue N        each 0 to 100\n"
    "Names may be given in any case, with '-' or '_' for a space (hard-light).\n";

// The glue modes in four columns, numbered, as the dialog's list names them.
std::string glueModeList() {
    std::string out =
        "\nGlue modes (mode 26 may also be given as \"harsh diff\", its name in recorded\n"
        "actions):\n";
    constexpr int kColumns = 4, kModes = 69, kRows = (kModes + kColumns - 1) / kColumns;
    for (int row = 0; row < kRows; ++row) {
        std::string line = "  ";
        for (int col = 0; col < kColumns; ++col) {
            const int mode = 1 + col * kRows + row;
            if (mode > kModes) break;
            char cell[32];
            std::snprintf(cell, sizeof cell, "%2d %-16s", mode, ::glueMenuName(mode).c_str());
            line += cell;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

struct OptionHelp {
    const char* name;
    const char* text; // the whole entry, with its first column
};

const OptionHelp kOptionHelp[] = {
    {"size", "  --size WxH            render: the new document's size; export: the picture's\n"
             "                        size (default: INPUT's)"},
    {"depth", "  --depth 8|16|32       render: bits per channel (default 8)"},
    {"gray", "  --gray                render: a gray document rather than RGB"},
    {"mask", "  --mask FILE           selection: a one-channel gray image of the document's\n"
             "                        size; white is selected (apply and render)"},
    {"preset", "  --preset FILE         replay the settings of a presets file (.sa9); flags\n"
               "                        given as well take precedence"},
    {"save-preset",
     "  --save-preset FILE    keep the settings used, with a thumbnail of the result,\n"
     "                        as a presets file (apply and render)"},
    {"quality", "  --quality Q           export: JPEG quality, 0 to 100 (default 90)"},
    {"print-settings", "  --print-settings      print the settings the module used, as flags"},
    {"randomize",
     "  --randomize [T]       change the settings at random as the dialog's buttons\n"
     "                        do, from those given (or the defaults): T = 1 (the\n"
     "                        default) whole new settings (Randomize), 0.333 (Dice3),\n"
     "                        0.1 (Dice3_), or any strength from 0 to 1; the glue\n"
     "                        mode and the seed stay"},
    {"random-state",
     "  --random-state N      start the random changes from state N (0 to 4294967295),\n"
     "                        so a run can be repeated; without it the clock is used\n"
     "                        and the state printed"},
    {"dialog", "  --dialog              apply (Windows): first show the module's dialog, as an\n"
               "                        editor does, from the settings given; OK filters\n"
               "                        with what was chosen, Cancel writes nothing (status 130)"},
    {"progress",
     "  --progress            show the progress bar even when stderr is not a terminal"},
    {"allow-truncated",
     "  --allow-truncated     use what a truncated or damaged input file holds (with\n"
     "                        a warning) rather than refuse it"},
    {"module", "  --module PATH         the filter module to load (default: the one next to\n"
               "                        this program)"},
};

const char kStatusHelp[] =
    "\nOutputs appear only once complete: they are written beside OUTPUT under a\n"
    "temporary name and then take its place, so a failure leaves an existing\n"
    "OUTPUT as it was. Ctrl-C cancels a run at any moment: no output is written\n"
    "and the status is 130.\n"
    "Exit status: 0 success; 1 failure (the message says what: an unreadable\n"
    "input, out of memory, no space left on the disk, file too large, ...);\n"
    "2 bad command line; 130 cancelled.\n";

// The help of the options `c` takes, or of all of them.
std::string optionsHelp(const Command* c) {
    std::string out = "\nOptions:\n";
    for (const OptionHelp& h : kOptionHelp) {
        bool listed = !c;
        if (c)
            for (const char* name : c->options) listed |= std::string(name) == h.name;
        if (listed) out += std::string(h.text) + "\n";
    }
    return out;
}

std::string usage() {
    std::string out = "Usage:\n";
    for (const Command& c : kCommands) out += std::string("  quillfire ") + c.synopsis + "\n";
    out += "  quillfire [COMMAND] --help | --version\n\n";
    for (const Command& c : kCommands) {
        std::string text = indented(c.description, 9);
        text.replace(0, std::string(c.name).size(), c.name);
        out += text;
    }
    out += "\n";
    out += kSettingsHelp;
    out += glueModeList();
    out += optionsHelp(nullptr);
    out += kStatusHelp;
    return out;
}

// The help of one command: its synopsis, description and the options it
// takes.
std::string commandUsage(const Command& c) {
    std::string out =
        std::string("Usage:\n  quillfire ") + c.synopsis + "\n\n" + indented(c.description, 2);
    if (c.takesSettings)
        out += std::string("\n") + kSettingsHelp + glueModeList() + optionsHelp(&c) + kStatusHelp;
    return out;
}

void fail(const std::string& message) {
    std::fprintf(stderr, "quillfire: %s\n", message.c_str());
}

// The status of a write that failed: cancelled when Ctrl-C stopped it.
int writeFailedStatus() {
    return writeInterruptRequested() ? kExitCancelled : kExitFailed;
}

struct Options {
    const Command* command = nullptr;
    std::vector<std::string> positional;
    cli::Settings settings;
    std::string maskPath;
    std::string presetPath;
    std::string savePresetPath;
    int32_t quality = 90;
    std::optional<double> randomize;     // strength of --randomize
    std::optional<uint32_t> randomState; // --random-state
    std::string modulePath;
    bool printSettings = false;
    bool progress = false;
    bool gray = false;
    bool allowTruncated = false;
    bool dialog = false; // --dialog: the module shows its dialog
    int depth = 0;
    int32_t width = 0, height = 0;
    // Keys of our own that ask the module for an export.
    host::Descriptor extraKeys;
    // The host signature the module sees (an export run says it is ours).
    OSType hostSig = host::HostOptions{}.hostSig;
    std::string progressLabel = "quillfire: rendering";
};

bool parseSize(const std::string& text, int32_t& w, int32_t& h) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    int64_t a = 0, b = 0;
    if (!cli::parseInt(text.substr(0, x), 1, cli::kMaxImageSide, a) ||
        !cli::parseInt(text.substr(x + 1), 1, cli::kMaxImageSide, b))
        return false;
    if (text[0] == '+' || text[x + 1] == '+') return false;
    w = int32_t(a);
    h = int32_t(b);
    return true;
}

bool takesOption(const Command& c, const std::string& name) {
    for (const char* o : c.options)
        if (name == o) return true;
    return false;
}

// False after printing one line about what is wrong.
bool parseArguments(const std::vector<std::string>& args, Options& o) {
    const Command& command = *o.command;
    auto refuse = [&](const std::string& name) {
        fail("--" + name + " does not apply to " + command.name + " (see quillfire " +
             command.name + " --help)");
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 3 || a[0] != '-' || a[1] != '-') {
            if (a.size() > 1 && a[0] == '-' && a != "-") {
                fail("unknown option '" + a + "' (see quillfire --help)");
                return false;
            }
            o.positional.push_back(a);
            continue;
        }
        std::string name = a.substr(2), value;
        bool hasValue = false;
        if (size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        if (name == "randomize") {
            if (!takesOption(command, name)) return refuse(name);
            // The strength is optional: taken from "=T" or from a next
            // argument that reads as a number from 0 to 1.
            if (!hasValue && i + 1 < args.size() && cli::parseStrength(args[i + 1], o.randomize))
                ++i;
            else if (!hasValue)
                o.randomize = 1.0;
            else if (!cli::parseStrength(value, o.randomize)) {
                fail("--randomize takes a strength from 0 to 1 (got '" + value + "')");
                return false;
            }
            continue;
        }
        bool isSwitch = false;
        for (const char* f : kSwitches) isSwitch |= name == f;
        if (isSwitch) {
            if (!takesOption(command, name)) return refuse(name);
            if (hasValue) {
                fail("--" + name + " takes no value");
                return false;
            }
            (name == "gray"              ? o.gray
             : name == "progress"        ? o.progress
             : name == "allow-truncated" ? o.allowTruncated
             : name == "dialog"          ? o.dialog
                                         : o.printSettings) = true;
            continue;
        }
        bool known = false;
        for (const char* f : kValueOptions) known |= name == f;
        cli::Settings probe;
        std::string ignored;
        const bool setting =
            cli::parseSettingFlag(name, "", probe, ignored) != cli::FlagResult::notASetting;
        if (!known && !setting) {
            fail("unknown option '--" + name + "' (see quillfire --help)");
            return false;
        }
        if (setting ? !command.takesSettings : !takesOption(command, name)) return refuse(name);
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                fail("--" + name + " needs a value");
                return false;
            }
            value = args[++i];
        }
        std::string error;
        switch (cli::parseSettingFlag(name, value, o.settings, error)) {
        case cli::FlagResult::ok:
            continue;
        case cli::FlagResult::bad:
            fail(error);
            return false;
        case cli::FlagResult::notASetting:
            break;
        }
        if (name == "mask") {
            o.maskPath = value;
        } else if (name == "preset") {
            o.presetPath = value;
        } else if (name == "save-preset") {
            o.savePresetPath = value;
        } else if (name == "quality") {
            int64_t q = 0;
            if (!cli::parseInt(value, 0, 100, q)) {
                fail("--quality must be a number from 0 to 100 (got '" + value + "')");
                return false;
            }
            o.quality = int32_t(q);
        } else if (name == "random-state") {
            int64_t n = 0;
            if (!cli::parseInt(value, 0, UINT32_MAX, n)) {
                fail("--random-state must be a number from 0 to 4294967295 (got '" + value + "')");
                return false;
            }
            o.randomState = uint32_t(n);
        } else if (name == "module") {
            o.modulePath = value;
        } else if (name == "size") {
            if (!parseSize(value, o.width, o.height)) {
                fail("--size must be WIDTHxHEIGHT with each side from 1 to " +
                     std::to_string(cli::kMaxImageSide) + " (got '" + value + "')");
                return false;
            }
        } else if (name == "depth") {
            int64_t d = 0;
            if (!cli::parseInt(value, 8, 32, d) || (d != 8 && d != 16 && d != 32)) {
                fail("--depth must be 8, 16 or 32 (got '" + value + "')");
                return false;
            }
            o.depth = int(d);
        }
    }
    return true;
}

std::string runFailure(const host::RunRecord& rec, bool haveMask) {
    if (!rec.hostError.empty()) {
        if (haveMask && rec.hostError == "nothing is selected") return "the mask selects nothing";
        return rec.hostError;
    }
    // The module's own codes come from its table; the host knows only the
    // published ones.
    const ResultCodeInfo* info = resultCodeInfo(rec.result);
    std::string text = info ? info->message : host::describeResult(rec.result);
    // The PSD export's own codes: the file layer's and the picture's.
    if (rec.result == 99) text = "the output file cannot be created";
    if (rec.result == -99) text = "out of memory: the picture cannot be held";
    if (rec.result == errReportString && !rec.errorString.empty()) return rec.errorString;
    if (!rec.errorString.empty()) text += ": " + rec.errorString;
    return text;
}

// Loads the module, runs the filter over the document and reports a
// failure; an exit code. `settingsOut` receives the settings the module
// reported at finish.
int filterDocument(host::Document& doc, const Options& o,
                   std::optional<host::Descriptor>& settingsOut) {
    const std::string path =
        o.modulePath.empty() ? host::executableFolder() + host::moduleFileName() : o.modulePath;
    std::string error;
    auto module = host::Module::load(path, &error);
    if (!module) {
        fail("cannot load the filter module '" + path + "': " + error);
        return kExitFailed;
    }
    cli::ProgressBar bar(o.progressLabel, cli::stderrIsTerminal(), o.progress);
    host::HostOptions ho;
    ho.hostSig = o.hostSig;
    ho.onProgress = [&bar](int32_t done, int32_t total) { bar.update(done, total); };
    // Ctrl-C (installWriteSignalHandlers in main) cancels the run.
    ho.onAbortTest = [] { return writeInterruptRequested(); };
    host::RunOptions ro;
    if (o.dialog) {
        // As an editor asks for the dialog: the parameters selector first,
        // and a descriptor whose play mode shows it.
        ho.descriptors.playInfo = plugInDialogDisplay;
        ro.showDialog = true;
    }
    host::FilterHost filterHost(module->entry(), ho);
    // Always a descriptor, empty when no setting was given, so that every run
    // starts from the module's defaults rather than from whatever it last
    // remembered.
    cli::Settings settings = o.settings;
    if (!o.presetPath.empty()) {
        std::string presetError;
        if (!cli::settingsFromPresetsFile(o.presetPath, settings, presetError)) {
            fail(presetError);
            return kExitFailed;
        }
    }
    if (o.randomize) {
        uint32_t state = 0;
        if (o.randomState) {
            state = *o.randomState;
        } else {
            state = cli::freshRandomState();
            std::fprintf(stderr, "quillfire: random state %u (--random-state %u repeats it)\n",
                         unsigned(state), unsigned(state));
        }
        cli::applyRandomChange(settings, *o.randomize, state);
    }
    ro.descriptor = settings.toDescriptor();
    for (const host::DescriptorItem& item : o.extraKeys.items()) ro.descriptor->add(item);

    host::RunRecord rec = filterHost.run(doc, ro);
    bar.finish(rec.ok());
    if (!rec.ok()) {
        fail(runFailure(rec, doc.hasMask()));
        return rec.result == userCanceledErr ? kExitCancelled : kExitFailed;
    }
    settingsOut = std::move(rec.descriptorOut);
    return kExitOk;
}

// After a complete run: the settings kept as a presets file, when asked for.
bool savePreset(const Options& o, const std::optional<host::Descriptor>& settings,
                const host::Document& result) {
    if (o.savePresetPath.empty()) return true;
    std::string error;
    if (!settings)
        error = "the module reported no settings to keep";
    else if (cli::savePresetsFile(o.savePresetPath, *settings, result, error))
        return true;
    fail(error);
    return false;
}

// After a complete run: the settings the module used, when asked for.
// False when they could not be written (a full disk, a closed pipe).
bool printSettings(const Options& o, const std::optional<host::Descriptor>& settings) {
    if (!o.printSettings) return true;
    if (!settings) {
        fail("the module reported no settings");
        return true;
    }
    std::vector<std::string> outOfRange;
    const std::string flags = cli::describeSettings(*settings, &outOfRange);
    for (const std::string& note : outOfRange)
        fail("note: " + note + "; no flag reproduces it, so it is left out");
    const bool written = std::printf("%s\n", flags.c_str()) >= 0;
    if (std::fflush(stdout) != 0 || !written || std::ferror(stdout)) {
        fail("cannot write the settings to the standard output");
        return false;
    }
    return true;
}

// An input image; a truncated one only with --allow-truncated, and then with
// a warning.
bool readInput(const Options& o, const std::string& path, cli::Image& image, std::string& error) {
    std::string warning;
    if (!cli::readImage(path, image, error, o.allowTruncated, &warning)) return false;
    if (!warning.empty()) fail("warning: " + warning);
    return true;
}

bool applyMask(const Options& o, host::Document& doc) {
    if (o.maskPath.empty()) return true;
    cli::Image maskImage;
    std::string error;
    std::vector<uint8_t> mask;
    if (!readInput(o, o.maskPath, maskImage, error) ||
        !cli::maskFromImage(maskImage, doc, mask, error)) {
        fail(error);
        return false;
    }
    doc.setMask(std::move(mask));
    return true;
}

// An exit code: an output that could not be written is a failure, or a
// cancellation when Ctrl-C stopped it.
int writeOutput(const std::string& path, host::Document&& doc, cli::Image& like) {
    std::string error, warning;
    if (!cli::imageFromDocument(std::move(doc), like, error) ||
        !cli::writeImage(path, like, error, &warning)) {
        fail(error);
        return writeFailedStatus();
    }
    if (!warning.empty()) fail("warning: '" + path + "': " + warning);
    return kExitOk;
}

int commandApply(const Options& o) {
    if (o.positional.size() != 2) {
        fail("apply needs INPUT and OUTPUT (see quillfire --help)");
        return kExitUsage;
    }
    cli::Image image;
    std::string error;
    host::Document doc;
    if (!readInput(o, o.positional[0], image, error) ||
        !cli::documentFromImage(image, doc, error)) {
        fail(error);
        return kExitFailed;
    }
    // The document holds the pixels now; the image keeps only what the
    // output takes over (format, profile).
    std::vector<uint8_t>().swap(image.data);
    if (!applyMask(o, doc)) return kExitFailed;
    std::optional<host::Descriptor> settings;
    int code = filterDocument(doc, o, settings);
    if (code != kExitOk) return code;
    if (!savePreset(o, settings, doc)) return writeFailedStatus();
    code = writeOutput(o.positional[1], std::move(doc), image);
    if (code != kExitOk) return code;
    return printSettings(o, settings) ? kExitOk : kExitFailed;
}

// The module limits each side of an exported picture to 2..30000 pixels,
// and the JPEG writer raises each to at least 16: say so when the picture
// did not get the size asked for.
void reportExportSize(const Options& o, int32_t inputWidth, int32_t inputHeight, bool jpeg) {
    auto side = [jpeg](int32_t asked) {
        const int32_t limited = std::clamp<int32_t>(asked, 2, 30000);
        return jpeg ? std::max<int32_t>(limited, 16) : limited;
    };
    const int32_t w = o.width ? o.width : inputWidth, h = o.height ? o.height : inputHeight;
    if (side(w) == w && side(h) == h) return;
    fail("warning: the picture is written at " + std::to_string(side(w)) + "x" +
         std::to_string(side(h)) + " rather than " + std::to_string(w) + "x" + std::to_string(h) +
         (jpeg ? ": each side of an exported JPEG is 16 to 30000 pixels"
               : ": each side of an exported picture is 2 to 30000 pixels"));
}

enum class ExportFileKind { unknown, jpeg, psd };

// The file kind the output's extension names, in any letter case.
ExportFileKind exportFileKind(const std::string& path) {
    const size_t dot = path.find_last_of("./\\");
    if (dot == std::string::npos || path[dot] != '.') return ExportFileKind::unknown;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "jpg" || ext == "jpeg") return ExportFileKind::jpeg;
    if (ext == "psd") return ExportFileKind::psd;
    return ExportFileKind::unknown;
}

// The pattern rendered over a copy of INPUT at --size (default: the
// input's size), written by the module itself as a JPEG or PSD file. The module
// writes beside the target and renames, so a failed or cancelled export
// leaves an existing file alone.
int commandExport(Options o) {
    if (o.positional.size() != 2) {
        fail("export needs INPUT and OUTPUT (see quillfire --help)");
        return kExitUsage;
    }
    // The module writes the format the output's extension names.
    const ExportFileKind kind = exportFileKind(o.positional[1]);
    if (kind == ExportFileKind::unknown) {
        fail("export writes .jpg, .jpeg or .psd files; '" + o.positional[1] +
             "' names none of them");
        return kExitUsage;
    }
    cli::Image image;
    std::string error;
    host::Document doc;
    if (!readInput(o, o.positional[0], image, error) ||
        !cli::documentFromImage(image, doc, error)) {
        fail(error);
        return kExitFailed;
    }
    const int32_t inputWidth = image.width, inputHeight = image.height;
    std::vector<uint8_t>().swap(image.data);
    // The module writes a temporary of ours beside the output, which takes
    // the output's place only once the run succeeded and was not
    // interrupted: parallel exports to one name never share a file, and a
    // failure or Ctrl-C at any moment leaves an existing output as it was.
    const std::string out = cli::absolutePath(o.positional[1]);
    SafeWrite file;
    if (!cli::openOutput(file, out, error)) {
        fail(error);
        return kExitFailed;
    }
    const std::string temporary = file.handOver();
    if (temporary.size() >= 260) {
        fail("the output folder's path is too long: '" + o.positional[1] + "'");
        return kExitFailed;
    }
    o.extraKeys.putText(kKeyExportPath, temporary)
        .putInteger(kKeyExportWidth, o.width)
        .putInteger(kKeyExportHeight, o.height)
        .putInteger(kKeyExportQuality, o.quality);
    o.hostSig = kOwnHostSignature;
    o.progressLabel = "quillfire: exporting";
    std::optional<host::Descriptor> settings;
    const int code = filterDocument(doc, o, settings);
    if (code != kExitOk) return code;
    // A module that does not know the export keys runs as a plain filter
    // and reports success without writing anything.
    if (cli::fileSize(temporary) <= 0) {
        fail("the module wrote no file to '" + o.positional[1] + "' (does it export?)");
        return kExitFailed;
    }
    if (!cli::commitOutput(file, o.positional[1], error)) {
        fail(error);
        return writeFailedStatus();
    }
    reportExportSize(o, inputWidth, inputHeight, kind == ExportFileKind::jpeg);
    return printSettings(o, settings) ? kExitOk : kExitFailed;
}

int commandRender(const Options& o) {
    if (o.positional.size() != 1) {
        fail("render needs one OUTPUT (see quillfire --help)");
        return kExitUsage;
    }
    if (!o.width) {
        fail("render needs --size WxH");
        return kExitUsage;
    }
    const int depth = o.depth ? o.depth : 8;
    std::string error;
    host::Document doc = host::Document::make(
        o.width, o.height, o.gray ? host::ColorModel::gray : host::ColorModel::rgb, depth,
        host::Transparency::none, &error);
    if (!doc.valid()) {
        fail(error);
        return kExitFailed;
    }
    doc.fill({doc.maxSample(), doc.maxSample(), doc.maxSample()});
    if (!applyMask(o, doc)) return kExitFailed;
    std::optional<host::Descriptor> settings;
    int code = filterDocument(doc, o, settings);
    if (code != kExitOk) return code;
    if (!savePreset(o, settings, doc)) return writeFailedStatus();
    cli::Image like;
    code = writeOutput(o.positional[0], std::move(doc), like);
    if (code != kExitOk) return code;
    return printSettings(o, settings) ? kExitOk : kExitFailed;
}

int commandSample(const Options& o) {
    if (o.positional.size() != 1) {
        fail("sample needs one OUTPUT (see quillfire --help)");
        return kExitUsage;
    }
    std::string error;
    if (!cli::writeImage(o.positional[0], cli::makeSamplePicture(), error)) {
        fail(error);
        return writeFailedStatus();
    }
    return kExitOk;
}

std::vector<std::string> arguments(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    // The wide command line, so that paths outside the code page survive.
    int n = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &n);
    if (wargv) {
        for (int i = 1; i < n; ++i) {
            int len = WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, nullptr, 0, nullptr, nullptr);
            std::string s(size_t(len > 0 ? len : 1), '\0');
            if (len > 0)
                WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, s.data(), len, nullptr, nullptr);
            s.resize(std::char_traits<char>::length(s.c_str()));
            args.push_back(s);
        }
        LocalFree(wargv);
        return args;
    }
#endif
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = arguments(argc, argv);
    if (args.empty()) {
        std::fputs(usage().c_str(), stderr);
        return kExitUsage;
    }
    const Command* command = findCommand(args[0]);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h" || a == "help") {
            std::fputs(command ? commandUsage(*command).c_str() : usage().c_str(), stdout);
            return kExitOk;
        }
        if (a == "--version") {
            std::puts("quillfire " QF_VERSION_TEXT);
            return kExitOk;
        }
    }
    if (!command) {
        fail("unknown command '" + args[0] + "' (commands: " + commandNames() +
             "; see quillfire --help)");
        return kExitUsage;
    }
    Options o;
    o.command = command;
    args.erase(args.begin());
    // The gallery reads its own few options.
    if (std::string(command->name) == "gallery") {
        installWriteSignalHandlers();
        return cli::commandGallery(args);
    }
    if (std::string(command->name) == "dots") {
        // list and show only print; apply N is apply with the dot's file as
        // its presets file.
        int64_t n = 0;
        const bool numbered = args.size() >= 2 && cli::parseInt(args[1], 1, 25, n);
        if (args.size() == 1 && args[0] == "list") return cli::listDots();
        if (args.size() == 2 && args[0] == "show" && numbered) return cli::showDot(int(n));
        if (args.empty() || args[0] != "apply" || !numbered) {
            fail("dots takes list, show N or apply N INPUT OUTPUT, with N from 1 to 25 (see "
                 "quillfire dots --help)");
            return kExitUsage;
        }
        o.command = findCommand("apply");
        if (!parseArguments(std::vector<std::string>(args.begin() + 2, args.end()), o))
            return kExitUsage;
        if (!o.presetPath.empty()) {
            fail("dots apply takes its settings from the dot; --preset does not apply");
            return kExitUsage;
        }
        std::string error;
        if (!cli::filledDotPath(int(n), o.presetPath, error)) {
            fail(error);
            return kExitFailed;
        }
    } else if (!parseArguments(args, o)) {
        return kExitUsage;
    }
    // Ctrl-C cancels; a second Ctrl-C or a termination request removes any
    // temporary output and ends the program; the file-size limit becomes a
    // reported write error.
    installWriteSignalHandlers();
    try {
        const std::string name = o.command->name;
        if (name == "apply") return commandApply(o);
        if (name == "render") return commandRender(o);
        if (name == "export") return commandExport(o);
        return commandSample(o);
    } catch (const std::bad_alloc&) {
        fail("out of memory");
        return kExitFailed;
    } catch (const std::exception& e) {
        fail(std::string("internal error: ") + e.what());
        return kExitFailed;
    }
}
