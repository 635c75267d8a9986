// quillfire: runs the filter module on image files without an editor.
#include "host/cli/document_image.h"
#include "host/cli/file_util.h"
#include "host/cli/image_io.h"
#include "host/cli/presets_bridge.h"
#include "host/cli/progress_bar.h"
#include "host/cli/sample_picture.h"
#include "host/cli/settings.h"
#include "host/filter_host.h"
#include "host/module_loader.h"

#include <csignal>
#include <optional>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitCancelled = 130 };

const char kUsage[] =
    "Usage:\n"
    "  quillfire apply INPUT OUTPUT [settings] [--mask FILE] [options]\n"
    "  quillfire render --size WxH OUTPUT [--depth 8|16|32] [--gray] [settings] [options]\n"
    "  quillfire export INPUT OUTPUT.jpg [--size WxH] [--quality Q] [settings] [options]\n"
    "  quillfire sample OUTPUT\n"
    "  quillfire --help | --version\n"
    "\n"
    "apply    filters INPUT and writes OUTPUT with the input's depth (8-bit, 16-bit or\n"
    "         32-bit float) and channels (gray, gray + alpha, RGB, RGBA); alpha is\n"
    "         editable transparency.\n"
    "render   renders onto a new opaque white document (8-bit RGB unless --depth or\n"
    "         --gray say otherwise).\n"
    "export   renders the pattern at --size (default: INPUT's size) over a copy of\n"
    "         INPUT and has the module write it as a JPEG file; INPUT is unchanged.\n"
    "sample   writes the bundled 512x384 8-bit RGB sample picture.\n"
    "\n"
    "Settings (only those given are passed on; the module uses its defaults for the rest):\n"
    "  --seed N              random seed, any 32-bit number\n"
    "  --shape NAME|N        circles, diamonds, squares, octagons, TVs, fleurons, points (1-7)\n"
    "  --stripe-kind K       a, b, c, d (1-4)\n"
    "  --merge N             1 to 4\n"
    "  --glue NAME|N         glue mode by name (\"normal\", \"multiply\", \"hard light\", ...)\n"
    "                        or number 1 to 69\n"
    "  --overlap N  --stripes N  --warping N  --softness N  --doublure N\n"
    "  --color N  --zoom N  --complexity N  --hue N        each 0 to 100\n"
    "\n"
    "Options:\n"
    "  --mask FILE           selection: a one-channel gray image of the document's size;\n"
    "                        white is selected\n"
    "  --preset FILE         replay the settings of a presets file (.sa9); flags given\n"
    "                        as well take precedence\n"
    "  --save-preset FILE    keep the settings used, with a thumbnail of the result,\n"
    "                        as a presets file\n"
    "  --quality Q           JPEG quality of export, 0 to 100 (default 90)\n"
    "  --print-settings      print the settings the module used, as flags\n"
    "  --progress            show the progress bar even when stderr is not a terminal\n"
    "  --module PATH         the filter module to load (default: the one next to this program)\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad command line, 130 cancelled.\n";

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int) {
    g_interrupted = 1;
    // A second interrupt ends the program the usual way.
    std::signal(SIGINT, SIG_DFL);
}

void fail(const std::string& message) { std::fprintf(stderr, "quillfire: %s\n", message.c_str()); }

struct Options {
    std::string command;
    std::vector<std::string> positional;
    cli::Settings settings;
    std::string maskPath;
    std::string presetPath;
    std::string savePresetPath;
    int32_t quality = 90;
    std::string modulePath;
    bool printSettings = false;
    bool progress = false;
    bool gray = false;
    int depth = 0;
    int32_t width = 0, height = 0;
    // Keys of our own that ask the module for an export.
    host::Descriptor extraKeys;
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

// False after printing one line about what is wrong.
bool parseArguments(const std::vector<std::string>& args, Options& o) {
    static const char* const kValueFlags[] = {"mask", "module", "size", "depth", "preset", "save-preset", "quality"};
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
        if (name == "print-settings" || name == "progress" || name == "gray") {
            if (hasValue) {
                fail("--" + name + " takes no value");
                return false;
            }
            (name == "gray" ? o.gray : name == "progress" ? o.progress : o.printSettings) = true;
            continue;
        }
        bool known = false;
        for (const char* f : kValueFlags) known |= name == f;
        cli::Settings probe;
        std::string ignored;
        known |= cli::parseSettingFlag(name, "", probe, ignored) != cli::FlagResult::notASetting;
        if (!known) {
            fail("unknown option '--" + name + "' (see quillfire --help)");
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                fail("--" + name + " needs a value");
                return false;
            }
            value = args[++i];
        }
        std::string error;
        switch (cli::parseSettingFlag(name, value, o.settings, error)) {
        case cli::FlagResult::ok: continue;
        case cli::FlagResult::bad: fail(error); return false;
        case cli::FlagResult::notASetting: break;
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
    std::string text = host::describeResult(rec.result);
    if (rec.result == errReportString && !rec.errorString.empty()) return rec.errorString;
    if (!rec.errorString.empty()) text += ": " + rec.errorString;
    return text;
}

// Loads the module, runs the filter over the document and reports a
// failure; an exit code. `settingsOut` receives the settings the module
// reported at finish.
int filterDocument(host::Document& doc, const Options& o, std::optional<host::Descriptor>& settingsOut) {
    const std::string path =
        o.modulePath.empty() ? host::executableFolder() + host::moduleFileName() : o.modulePath;
    std::string error;
    auto module = host::Module::load(path, &error);
    if (!module) {
        fail("cannot load the filter module '" + path + "': " + error);
        return kExitFailed;
    }
    cli::ProgressBar bar("quillfire: rendering", cli::stderrIsTerminal(), o.progress);
    host::HostOptions ho;
    ho.onProgress = [&bar](int32_t done, int32_t total) { bar.update(done, total); };
    ho.onAbortTest = [] { return g_interrupted != 0; };
    host::FilterHost filterHost(module->entry(), ho);
    host::RunOptions ro;
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
    ro.descriptor = settings.toDescriptor();
    for (const host::DescriptorItem& item : o.extraKeys.items()) ro.descriptor->add(item);

    g_interrupted = 0;
    auto previous = std::signal(SIGINT, onInterrupt);
    host::RunRecord rec = filterHost.run(doc, ro);
    std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
    bar.finish(rec.ok());
    if (!rec.ok()) {
        fail(runFailure(rec, doc.hasMask()));
        return rec.result == userCanceledErr ? kExitCancelled : kExitFailed;
    }
    settingsOut = std::move(rec.descriptorOut);
    return kExitOk;
}

// After a complete run: the settings kept as a presets file, when asked for.
bool savePreset(const Options& o, const std::optional<host::Descriptor>& settings, const host::Document& result) {
    if (o.savePresetPath.empty()) return true;
    std::string error;
    if (!settings) error = "the module reported no settings to keep";
    else if (cli::savePresetsFile(o.savePresetPath, *settings, result, error)) return true;
    fail(error);
    return false;
}

// After a complete run: the settings the module used, when asked for.
void printSettings(const Options& o, const std::optional<host::Descriptor>& settings) {
    if (!o.printSettings) return;
    if (settings)
        std::printf("%s\n", cli::describeSettings(*settings).c_str());
    else
        fail("the module reported no settings");
}

bool applyMask(const Options& o, host::Document& doc) {
    if (o.maskPath.empty()) return true;
    cli::Image maskImage;
    std::string error;
    std::vector<uint8_t> mask;
    if (!cli::readImage(o.maskPath, maskImage, error) || !cli::maskFromImage(maskImage, doc, mask, error)) {
        fail(error);
        return false;
    }
    doc.setMask(std::move(mask));
    return true;
}

bool writeOutput(const std::string& path, host::Document&& doc, cli::Image& like) {
    std::string error, warning;
    if (!cli::imageFromDocument(std::move(doc), like, error) || !cli::writeImage(path, like, error, &warning)) {
        fail(error);
        return false;
    }
    if (!warning.empty()) fail("warning: '" + path + "': " + warning);
    return true;
}

int commandApply(const Options& o) {
    if (o.positional.size() != 2) {
        fail("apply needs INPUT and OUTPUT (see quillfire --help)");
        return kExitUsage;
    }
    if (o.depth || o.gray || o.width) {
        fail("--size, --depth and --gray belong to render");
        return kExitUsage;
    }
    cli::Image image;
    std::string error;
    host::Document doc;
    if (!cli::readImage(o.positional[0], image, error) || !cli::documentFromImage(image, doc, error)) {
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
    if (!savePreset(o, settings, doc)) return kExitFailed;
    if (!writeOutput(o.positional[1], std::move(doc), image)) return kExitFailed;
    printSettings(o, settings);
    return kExitOk;
}

// The pattern rendered over a copy of INPUT at --size (default: the
// input's size), written by the module itself as a JPEG file.
int commandExport(Options o) {
    if (o.positional.size() != 2) {
        fail("export needs INPUT and OUTPUT (see quillfire --help)");
        return kExitUsage;
    }
    cli::Image image;
    std::string error;
    host::Document doc;
    if (!cli::readImage(o.positional[0], image, error) || !cli::documentFromImage(image, doc, error)) {
        fail(error);
        return kExitFailed;
    }
    const std::string out = cli::absolutePath(o.positional[1]);
    if (out.size() >= 260) {
        fail("the output path is too long: '" + o.positional[1] + "'");
        return kExitFailed;
    }
    o.extraKeys.putText(fourCC("qfXP"), out)
        .putInteger(fourCC("qfXW"), o.width)
        .putInteger(fourCC("qfXH"), o.height)
        .putInteger(fourCC("qfXQ"), o.quality);
    std::optional<host::Descriptor> settings;
    const int code = filterDocument(doc, o, settings);
    if (code == kExitOk) printSettings(o, settings);
    return code;
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
    host::Document doc = host::Document::make(o.width, o.height, o.gray ? host::ColorModel::gray : host::ColorModel::rgb,
                                              depth, host::Transparency::none, &error);
    if (!doc.valid()) {
        fail(error);
        return kExitFailed;
    }
    doc.fill({doc.maxSample(), doc.maxSample(), doc.maxSample()});
    if (!applyMask(o, doc)) return kExitFailed;
    std::optional<host::Descriptor> settings;
    int code = filterDocument(doc, o, settings);
    if (code != kExitOk) return code;
    if (!savePreset(o, settings, doc)) return kExitFailed;
    cli::Image like;
    if (!writeOutput(o.positional[0], std::move(doc), like)) return kExitFailed;
    printSettings(o, settings);
    return kExitOk;
}

int commandSample(const Options& o) {
    if (o.positional.size() != 1) {
        fail("sample needs one OUTPUT (see quillfire --help)");
        return kExitUsage;
    }
    std::string error;
    if (!cli::writeImage(o.positional[0], cli::makeSamplePicture(), error)) {
        fail(error);
        return kExitFailed;
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
            if (len > 0) WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, s.data(), len, nullptr, nullptr);
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
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h" || a == "help") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (a == "--version") {
            std::puts("quillfire 4.0");
            return kExitOk;
        }
    }
    Options o;
    o.command = args[0];
    args.erase(args.begin());
    if (o.command != "apply" && o.command != "render" && o.command != "sample" && o.command != "export") {
        fail("unknown command '" + o.command + "' (commands: apply, render, sample; see quillfire --help)");
        return kExitUsage;
    }
    if (!parseArguments(args, o)) return kExitUsage;
    try {
        if (o.command == "apply") return commandApply(o);
        if (o.command == "render") return commandRender(o);
        if (o.command == "export") return commandExport(o);
        return commandSample(o);
    } catch (const std::bad_alloc&) {
        fail("out of memory");
        return kExitFailed;
    }
}
