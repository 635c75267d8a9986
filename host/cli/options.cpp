#include "host/cli/options.h"

#include "host/cli/image_io.h"
#include "host/cli/random_look.h"
#include "values/name_tables.h"
#include "values/settings_record.h"

#include <cstdio>
#include <cstdlib>

namespace qf::cli {
namespace {

constexpr unsigned kAllBits = kApplyBit | kRenderBit | kExportBit;

const Command kCommands[] = {
    {"apply", "apply INPUT OUTPUT [settings] [--mask FILE] [options]",
     "filters INPUT and writes OUTPUT with the input's depth (8-bit, 16-bit\n"
     "or 32-bit float) and channels (gray, gray + alpha, RGB, RGBA). A camera\n"
     "photo is turned upright by its Exif orientation; its Exif, IPTC, XMP\n"
     "and colour profile are kept where OUTPUT's format holds them. The\n"
     "pattern is opaque where it paints, so transparent areas fill in, as a\n"
     "render filter does in an editor; --keep-transparency keeps INPUT's\n"
     "transparency. --mask limits the filter to a selection.",
     kApplyBit, true},
    {"render", "render --size WxH OUTPUT [--depth D] [--gray] [settings] [options]",
     "renders onto a new opaque white document (8-bit RGB unless --depth or\n"
     "--gray say otherwise).",
     kRenderBit, true},
    {"export", "export INPUT OUTPUT [--size WxH] [--quality Q] [settings] [options]",
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
     kExportBit, true},
    {"gallery", "gallery FOLDER PAGE.html | gallery --dots INPUT PAGE.html [--open]",
     "writes a web page of the pictures of every presets file (.sa9) in\n"
     "FOLDER, five to a row, with the pictures in a web_images folder beside\n"
     "the page. With --dots: a page of every filled memory dot, each\n"
     "rendered over a copy of INPUT at 300 pixels on the larger side, four\n"
     "to a row (--module PATH: the filter module to render with). Prints\n"
     "the page's path; --open then opens it with the desktop's browser.",
     0, false},
    {"dots", "dots list | dots show N | dots apply N INPUT OUTPUT [options]",
     "the memory dots kept in the filter's dialog (the files in the temporary\n"
     "folder): list shows every filled dot's settings as flags, show N one\n"
     "dot's and its file, apply N filters INPUT with dot N's settings as\n"
     "apply --preset would (flags given as well take precedence).",
     0, false},
    {"sample", "sample OUTPUT", "writes the bundled 512x384 8-bit RGB sample picture.", 0, false},
};

// A value kept as it is (a path).
template <std::string Options::*field>
bool keepText(Options& o, const std::string& value, std::string&) {
    o.*field = value;
    return true;
}

template <bool Options::*field> bool turnOn(Options& o, const std::string&, std::string&) {
    o.*field = true;
    return true;
}

bool parseSize(const std::string& text, int32_t& w, int32_t& h) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    int64_t a = 0, b = 0;
    if (!parseInt(text.substr(0, x), 1, kMaxImageSide, a) ||
        !parseInt(text.substr(x + 1), 1, kMaxImageSide, b))
        return false;
    if (text[0] == '+' || text[x + 1] == '+') return false;
    w = int32_t(a);
    h = int32_t(b);
    return true;
}

bool applySize(Options& o, const std::string& value, std::string& error) {
    if (parseSize(value, o.width, o.height)) return true;
    error = "--size must be WIDTHxHEIGHT with each side from 1 to " +
            std::to_string(kMaxImageSide) + " (got '" + value + "')";
    return false;
}

bool applyDepth(Options& o, const std::string& value, std::string& error) {
    int64_t d = 0;
    if (!parseInt(value, 8, 32, d) || (d != 8 && d != 16 && d != 32)) {
        error = "--depth must be 8, 16 or 32 (got '" + value + "')";
        return false;
    }
    o.depth = int(d);
    return true;
}

bool applyQuality(Options& o, const std::string& value, std::string& error) {
    int64_t q = 0;
    if (!parseInt(value, 0, 100, q)) {
        error = "--quality must be a number from 0 to 100 (got '" + value + "')";
        return false;
    }
    o.quality = int32_t(q);
    return true;
}

bool applyRandomize(Options& o, const std::string& value, std::string& error) {
    if (parseStrength(value, o.randomize)) return true;
    error = "--randomize takes a strength from 0 to 1 (got '" + value + "')";
    return false;
}

bool applyRandomState(Options& o, const std::string& value, std::string& error) {
    int64_t n = 0;
    if (!parseInt(value, 0, UINT32_MAX, n)) {
        error = "--random-state must be a number from 0 to 4294967295 (got '" + value + "')";
        return false;
    }
    o.randomState = uint32_t(n);
    return true;
}

const OptionEntry kOptions[] = {
    {"size", true, nullptr, kRenderBit | kExportBit,
     "  --size WxH            render: the new document's size; export: the picture's\n"
     "                        size (default: INPUT's)",
     applySize},
    {"depth", true, nullptr, kRenderBit,
     "  --depth 8|16|32       render: bits per channel (default 8)", applyDepth},
    {"gray", false, nullptr, kRenderBit,
     "  --gray                render: a gray document rather than RGB", turnOn<&Options::gray>},
    {"mask", true, nullptr, kApplyBit | kRenderBit,
     "  --mask FILE           selection: a one-channel gray image of the document's\n"
     "                        size; white is selected (apply and render)",
     keepText<&Options::maskPath>},
    {"preset", true, nullptr, kAllBits,
     "  --preset FILE         replay the settings of a presets file (.sa9); flags\n"
     "                        given as well take precedence",
     keepText<&Options::presetPath>},
    {"save-preset", true, nullptr, kApplyBit | kRenderBit,
     "  --save-preset FILE    keep the settings used, with a thumbnail of the result,\n"
     "                        as a presets file (apply and render)",
     keepText<&Options::savePresetPath>},
    {"quality", true, nullptr, kApplyBit | kExportBit,
     "  --quality Q           JPEG quality, 0 to 100 (export's default 90; apply's,\n"
     "                        the image library's: 98)",
     applyQuality},
    {"keep-transparency", false, nullptr, kApplyBit,
     "  --keep-transparency   apply: the input's transparency limits the result (as an\n"
     "                        editor's lock on transparent pixels does); without it\n"
     "                        the pattern is opaque wherever it paints",
     turnOn<&Options::keepTransparency>},
    {"print-settings", false, nullptr, kAllBits,
     "  --print-settings      print the settings the module used, as flags",
     turnOn<&Options::printSettings>},
    // The strength is optional: taken from "=T" or from a next argument that
    // reads as a number from 0 to 1.
    {"randomize", true, "1", kAllBits,
     "  --randomize [T]       change the settings at random as the dialog's buttons\n"
     "                        do, from those given (or the defaults): T = 1 (the\n"
     "                        default) whole new settings (Randomize), 0.333 (Dice3),\n"
     "                        0.1 (Dice3_), or any strength from 0 to 1; the glue\n"
     "                        mode and the seed stay",
     applyRandomize},
    {"random-state", true, nullptr, kAllBits,
     "  --random-state N      start the random changes from state N (0 to 4294967295),\n"
     "                        so a run can be repeated; without it the clock is used\n"
     "                        and the state printed",
     applyRandomState},
    {"dialog", false, nullptr, kApplyBit,
     "  --dialog              apply (Windows): first show the module's dialog, as an\n"
     "                        editor does, from the settings given; OK filters\n"
     "                        with what was chosen, Cancel writes nothing (status 130)",
     turnOn<&Options::dialog>},
    {"progress", false, nullptr, kAllBits,
     "  --progress            show the progress bar even when stderr is not a terminal",
     turnOn<&Options::progress>},
    {"allow-truncated", false, nullptr, kAllBits,
     "  --allow-truncated     use what a truncated or damaged input file holds (with\n"
     "                        a warning) rather than refuse it: a cut JPEG and the\n"
     "                        formats the image library reads in part (not PNG)",
     turnOn<&Options::allowTruncated>},
    {"module", true, nullptr, kAllBits,
     "  --module PATH         the filter module to load (default: the one next to\n"
     "                        this program)",
     keepText<&Options::modulePath>},
};

const OptionEntry* findOption(const std::string& name) {
    for (const OptionEntry& entry : kOptions)
        if (name == entry.name) return &entry;
    return nullptr;
}

bool isSettingFlag(const std::string& name) {
    Settings probe;
    std::string ignored;
    return parseSettingFlag(name, "", probe, ignored) != FlagResult::notASetting;
}

// Where one argument starts an option: its name and the value given with
// "=", if any.
struct OptionWord {
    std::string name, value;
    bool hasValue = false;
};

OptionWord splitOption(const std::string& arg) {
    OptionWord w;
    w.name = arg.substr(2);
    if (size_t eq = w.name.find('='); eq != std::string::npos) {
        w.value = w.name.substr(eq + 1);
        w.name.resize(eq);
        w.hasValue = true;
    }
    return w;
}

bool looksLikeNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

// Reads the option that starts at args[i] into `o`, moving `i` past a value
// taken from the next argument. False after printing why it is refused.
bool readOption(const std::vector<std::string>& args, size_t& i, Options& o) {
    const Command& command = *o.command;
    OptionWord w = splitOption(args[i]);
    const OptionEntry* entry = findOption(w.name);
    const bool setting = !entry && isSettingFlag(w.name);
    if (!entry && !setting) {
        std::vector<std::string> names = settingFlagNames();
        for (const OptionEntry& e : kOptions) names.emplace_back(e.name);
        std::vector<std::string> near = nearestNames(w.name, names);
        for (std::string& n : near) n.insert(0, "--");
        fail("unknown option '--" + w.name + "'" + suggestionText(near) +
             " (see quillfire --help)");
        return false;
    }
    if (setting ? !command.takesSettings : !(entry->commands & command.bit)) {
        fail("--" + w.name + " does not apply to " + command.name + " (see quillfire " +
             command.name + " --help)");
        return false;
    }
    std::string error;
    if (entry && !entry->takesValue && w.hasValue) {
        fail("--" + w.name + " takes no value");
        return false;
    }
    if (entry && entry->valueWhenOmitted && !w.hasValue) {
        Options tried = o;
        if (i + 1 < args.size() && entry->apply(tried, args[i + 1], error)) {
            o = std::move(tried);
            ++i;
            return true;
        }
        // A number that is not acceptable is a mistake, not a file name.
        if (i + 1 < args.size() && looksLikeNumber(args[i + 1])) {
            fail(error);
            return false;
        }
        if (i + 1 < args.size() && o.strayName.empty()) {
            o.strayName = args[i + 1];
            o.strayAfter = w.name;
        }
        w.value = entry->valueWhenOmitted;
    } else if ((setting || entry->takesValue) && !w.hasValue) {
        if (i + 1 >= args.size()) {
            fail("--" + w.name + " needs a value");
            return false;
        }
        w.value = args[++i];
    }
    const bool ok = setting ? parseSettingFlag(w.name, w.value, o.settings, error) == FlagResult::ok
                            : entry->apply(o, w.value, error);
    if (!ok) fail(error);
    return ok;
}

std::string indented(const char* text, size_t indent) {
    std::string out(indent, ' ');
    for (const char* p = text; *p; ++p) {
        out += *p;
        if (*p == '\n') out.append(indent, ' ');
    }
    return out + "\n";
}

// The settings flags with the module's defaults, read from the record's
// own defaults so that the help cannot drift from them.
std::string settingsHelp(bool withGlueList) {
    SettingsRecord d{};
    applyPlainDefaults(d);
    auto n = [](int32_t v) { return std::to_string(v); };
    std::string out =
        "Settings (only those given are passed on; the rest take the defaults in\n"
        "brackets):\n"
        "  --seed N              random seed: any 32-bit number, signed or unsigned\n"
        "                        (-2147483648 to 4294967295)\n"
        "  --shape NAME|N        circles, diamonds, squares, octagons, TVs, fleurons,\n"
        "                        points (1-7) [" +
        shapeName(d.shape) + "]\n" + "  --stripe-kind K       a, b, c, d (1-4) [" +
        stripeKindName(d.stripeKind) + "]\n" + "  --merge N             1 to 4 [" + n(d.merge) +
        "]\n" + "  --glue NAME|N         glue mode by name or number [" + glueMenuName(d.glue) +
        "]\n" +
        (withGlueList ? "                        (the list below)\n"
                      : "                        (quillfire --help lists them)\n") +
        "  each 0 to 100:        --overlap N [" + n(d.overlap) + "]  --stripes N [" + n(d.stripes) +
        "]  --warping N [" + n(d.warping) +
        "]\n"
        "                        --softness N [" +
        n(d.softness) + "]  --doublure N [" + n(d.doublure) + "]  --color N [" + n(d.color) +
        "]\n"
        "                        --zoom N [" +
        n(d.zoom) + "]  --complexity N [" + n(d.complexity) + "]  --hue N [" + n(d.hue) +
        "]\n"
        "Names may be given in any case, with '-' or '_' for a space (hard-light).\n"
        "The default glue mode, " +
        glueMenuName(d.glue) +
        ", covers the picture with the pattern wherever it\n"
        "paints; to keep the photo under it choose a mode that mixes, for example:\n"
        "  quillfire apply photo.jpg out.jpg --glue soft-light --overlap 60\n";
    return out;
}

// The glue modes in four columns, numbered, as the dialog's list names them.
std::string glueModeList() {
    std::string out =
        "\nGlue modes (mode 26 may also be given as \"harsh diff\", its name in recorded\n"
        "actions):\n";
    constexpr int kColumns = 4, kModes = kGlueModeCount, kRows = (kModes + kColumns - 1) / kColumns;
    for (int row = 0; row < kRows; ++row) {
        std::string line = "  ";
        for (int col = 0; col < kColumns; ++col) {
            const int mode = 1 + col * kRows + row;
            if (mode > kModes) break;
            char cell[32];
            std::snprintf(cell, sizeof cell, "%2d %-16s", mode, glueMenuName(mode).c_str());
            line += cell;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

const char kStatusHelp[] =
    "\nOutputs appear only once complete: they are written beside OUTPUT under a\n"
    "temporary name and then take its place, so a failure leaves an existing\n"
    "OUTPUT as it was. Ctrl-C cancels a run at any moment: no output is written\n"
    "and the status is 130. '--' ends the options: every argument after it is a\n"
    "file name.\n"
    "Exit status: 0 success; 1 failure (the message says what: an unreadable\n"
    "input, out of memory, no space left on the disk, file too large, ...);\n"
    "2 bad command line; 130 cancelled.\n";

// The help of the options `c` takes, or of all of them.
std::string optionsHelp(const Command* c) {
    std::string out = "\nOptions:\n";
    for (const OptionEntry& entry : kOptions)
        if (!c || (entry.commands & c->bit)) out += std::string(entry.help) + "\n";
    return out;
}

} // namespace

std::span<const Command> commands() {
    return kCommands;
}

const Command* findCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

std::string commandNames() {
    std::string names;
    for (const Command& c : kCommands) names += std::string(names.empty() ? "" : ", ") + c.name;
    return names;
}

std::span<const OptionEntry> optionTable() {
    return kOptions;
}

bool parseArguments(const std::vector<std::string>& args, Options& o) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded) {
            o.positional.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a.size() >= 3 && a[0] == '-' && a[1] == '-') {
            if (!readOption(args, i, o)) return false;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            fail("unknown option '" + a + "' (see quillfire --help)");
            return false;
        } else {
            o.positional.push_back(a);
        }
    }
    if (o.randomState && !o.randomize) {
        fail("--random-state starts the changes of --randomize, which was not given");
        return false;
    }
    return true;
}

std::string positionalError(const Options& o, const std::vector<std::string>& names) {
    const std::vector<std::string>& got = o.positional;
    if (got.size() == names.size()) return "";
    std::string wanted;
    for (size_t i = 0; i < names.size(); ++i)
        wanted += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    if (names.size() == 1) wanted.insert(0, "one ");
    const std::string command = o.command ? o.command->name : "quillfire";
    std::string line;
    if (got.size() < names.size()) {
        line = command + " needs " + wanted;
        if (!got.empty()) {
            line += "; only ";
            for (size_t i = 0; i < got.size(); ++i) line += (i ? ", '" : "'") + got[i] + "'";
            line += got.size() == 1 ? " was given" : " were given";
        }
    } else {
        line = command + " takes " + wanted + "; '" + got[names.size()] + "' is one name too many";
        if (!o.strayName.empty())
            line += " ('" + o.strayName + "' is not a value of --" + o.strayAfter +
                    "; give one as --" + o.strayAfter + "=VALUE)";
    }
    return line + " (see quillfire " + command + " --help)";
}

// "Usage:" and a line for each command.
std::string synopses() {
    std::string out = "Usage:\n";
    for (const Command& c : kCommands) out += std::string("  quillfire ") + c.synopsis + "\n";
    return out;
}

std::string usage() {
    std::string out = synopses();
    out += "  quillfire [COMMAND] --help | --version\n\n";
    for (const Command& c : kCommands) {
        std::string text = indented(c.description, 9);
        text.replace(0, std::string(c.name).size(), c.name);
        out += text;
    }
    out += "\n";
    out += settingsHelp(true);
    out += glueModeList();
    out += optionsHelp(nullptr);
    out += kStatusHelp;
    return out;
}

std::string commandUsage(const Command& c) {
    std::string out =
        std::string("Usage:\n  quillfire ") + c.synopsis + "\n\n" + indented(c.description, 2);
    if (c.takesSettings) {
        out += '\n';
        out += settingsHelp(false);
        out += optionsHelp(&c);
        out += kStatusHelp;
    }
    return out;
}

std::string shortUsage() {
    std::string out = synopses();
    out += "quillfire --help shows every option and the glue modes; quillfire COMMAND\n"
           "--help one command's.\n";
    return out;
}

void fail(const std::string& message) {
    std::fprintf(stderr, "quillfire: %s\n", message.c_str());
}

} // namespace qf::cli
