// Shared helpers of the plug-in suite: the module's entry point driven
// in-process by our own host, and messages caught instead of shown.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "host/filter_host.h"
#include "platform/message.h"
#include "platform/temp_folder.h"
#include "plugin/dialog_run.h"
#include "plugin/plugin_entry.h"

namespace qf {}
using namespace qf;

namespace qftest {

inline void entry(int16 selector, void* block, intptr_t* data, int16* result) {
    pluginEntry(selector, block, data, result);
}

// Collects the messages the plug-in would show.
class CaughtMessages {
  public:
    CaughtMessages() : scope_(&CaughtMessages::catchIt, this) {}
    std::vector<std::string> texts;

  private:
    static void catchIt(const char* title, const char* text, void* self) {
        static_cast<CaughtMessages*>(self)->texts.push_back(std::string(title) + ": " + text);
    }
    ScopedMessageHandler scope_;
};

// A document whose every sample is `value` (host units), transparency opaque.
inline host::Document filled(int32_t w, int32_t h, host::ColorModel model, int depth, double value,
                             host::Transparency t = host::Transparency::none) {
    host::Document d = host::Document::make(w, h, model, depth, t);
    std::vector<double> v(size_t(d.channels()), value);
    if (t != host::Transparency::none) v.back() = d.opaque();
    d.fill(v);
    return d;
}

inline int countChanged(const host::Document& before, const host::Document& after) {
    int changed = 0;
    for (int32_t y = 0; y < before.height(); ++y)
        for (int32_t x = 0; x < before.width(); ++x)
            for (int c = 0; c < before.channels(); ++c)
                if (before.sample(x, y, c) != after.sample(x, y, c)) {
                    ++changed;
                    break;
                }
    return changed;
}

// Sets an environment variable of this process (empty: unset in effect).
inline void setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// Points the module's dialog at a script of `events` for the lifetime of
// the object.
class DialogScript {
  public:
    explicit DialogScript(const std::string& events) {
        path_ = temporaryFolder() + "dialog script.txt";
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << events;
        setVariable(kDialogScriptVariable, path_);
    }
    ~DialogScript() {
        setVariable(kDialogScriptVariable, "");
        std::remove(path_.c_str());
    }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

  private:
    std::string path_;
};

} // namespace qftest
