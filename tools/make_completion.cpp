// Writes the bash completion of the quillfire CLI from the tables its parser
// and help read: the commands and their options (host/cli/options.h), the
// settings flags (those describeSettings writes for a complete set of
// settings) and the names of the glue modes, shapes and stripe kinds
// (values/name_tables.h). The release packages install what it prints, so
// the completion cannot fall behind the command line.
//
//   make_completion > quillfire.bash
#include "host/cli/options.h"
#include "host/cli/settings.h"
#include "values/name_tables.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A list name as the command line accepts it, as one word: '-' stands for a
// space between letters ("hard-diff"), '_' for any other ("procedural_+").
std::string word(const std::string& name) {
    const auto letter = [&](size_t i) {
        return i < name.size() && std::isalpha(static_cast<unsigned char>(name[i]));
    };
    std::string out;
    for (size_t i = 0; i < name.size(); ++i)
        out += name[i] != ' ' ? name[i] : i > 0 && letter(i - 1) && letter(i + 1) ? '-' : '_';
    return out;
}

template <size_t N> std::string words(const std::array<const char*, N>& names) {
    std::string out;
    for (size_t i = 1; i < N; ++i) {
        if (!*names[i]) continue;
        if (!out.empty()) out += ' ';
        out += word(names[i]);
    }
    return out;
}

// The settings flags, in the order describeSettings writes them.
std::vector<std::string> settingFlags() {
    qf::cli::Settings all;
    for (auto field :
         {&qf::cli::Settings::seed, &qf::cli::Settings::shape, &qf::cli::Settings::stripeKind,
          &qf::cli::Settings::merge, &qf::cli::Settings::glue, &qf::cli::Settings::overlap,
          &qf::cli::Settings::stripes, &qf::cli::Settings::warping, &qf::cli::Settings::softness,
          &qf::cli::Settings::doublure, &qf::cli::Settings::color, &qf::cli::Settings::zoom,
          &qf::cli::Settings::complexity, &qf::cli::Settings::hue})
        all.*field = 1;
    const std::string text = qf::cli::describeSettings(all.toDescriptor());
    std::vector<std::string> flags;
    for (size_t at = text.find("--"); at != std::string::npos; at = text.find(" --", at + 2)) {
        if (text[at] == ' ') ++at;
        const size_t end = text.find_first_of(" =", at);
        flags.push_back(text.substr(at, end == std::string::npos ? end : end - at));
    }
    return flags;
}

} // namespace

int main() {
    using namespace qf::cli;
    const std::vector<std::string> settings = settingFlags();
    if (settings.size() != 14) {
        std::fprintf(stderr, "make_completion: expected 14 settings flags, found %zu\n",
                     settings.size());
        return 1;
    }
    std::string out =
        "# bash completion for quillfire, written by make_completion from the CLI's own\n"
        "# tables.\n"
        "_quillfire() {\n"
        "    local cur prev command i\n"
        "    cur=${COMP_WORDS[COMP_CWORD]}\n"
        "    prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "    command=\n"
        "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        "        case ${COMP_WORDS[i]} in -*) ;; *) command=${COMP_WORDS[i]}; break ;; esac\n"
        "    done\n";
    std::string names;
    for (const Command& c : commands()) names += std::string(names.empty() ? "" : " ") + c.name;
    out += "    if [[ -z $command ]]; then\n"
           "        if [[ $cur == -* ]]; then\n"
           "            COMPREPLY=($(compgen -W '--help --version' -- \"$cur\"))\n"
           "        else\n"
           "            COMPREPLY=($(compgen -W '" +
           names +
           "' -- \"$cur\"))\n"
           "        fi\n"
           "        return\n"
           "    fi\n";
    // The values of the options that take one.
    out += "    case $prev in\n"
           "        --glue) COMPREPLY=($(compgen -W '" +
           words(qf::kGlueMenuNames) +
           " harsh-diff' -- \"$cur\")); return ;;\n"
           "        --shape) COMPREPLY=($(compgen -W '" +
           words(qf::kShapeNames) +
           "' -- \"$cur\")); return ;;\n"
           "        --stripe-kind) COMPREPLY=($(compgen -W '" +
           words(qf::kStripeKindNames) +
           "' -- \"$cur\")); return ;;\n"
           "        --depth) COMPREPLY=($(compgen -W '8 16 32' -- \"$cur\")); return ;;\n";
    std::string fileOptions, valueOptions;
    for (const OptionEntry& e : optionTable()) {
        if (!e.takesValue || e.valueWhenOmitted) continue;
        const std::string help = e.help;
        const bool file =
            help.find("FILE") != std::string::npos || help.find("PATH") != std::string::npos;
        (file ? fileOptions : valueOptions) += std::string(" | --") + e.name;
    }
    for (const std::string& s : settings)
        if (s != "--glue" && s != "--shape" && s != "--stripe-kind") valueOptions += " | " + s;
    valueOptions.erase(valueOptions.find(" | --depth"), 10); // its values are listed above
    if (!fileOptions.empty())
        out += "        " + fileOptions.substr(3) +
               ") COMPREPLY=($(compgen -f -- \"$cur\")); compopt -o filenames 2>/dev/null; "
               "return ;;\n";
    if (!valueOptions.empty()) out += "        " + valueOptions.substr(3) + ") return ;;\n";
    out += "    esac\n"
           "    case $command in\n";
    for (const Command& c : commands()) {
        std::string flags = "--help";
        // dots apply takes settings flags as well, over the dot's.
        if (c.takesSettings || std::string(c.name) == "dots")
            for (const std::string& s : settings) flags += " " + s;
        // dots apply takes apply's options; the gallery reads its own few.
        const std::string name = c.name;
        const unsigned bit = name == "dots" ? unsigned(kApplyBit) : c.bit;
        for (const OptionEntry& e : optionTable())
            if (e.commands & bit) flags += std::string(" --") + e.name;
        if (name == "gallery") flags += " --dots --open --module";
        const std::string words = name == "dots" ? "list show apply" : "";
        out += std::string("        ") + c.name +
               ")\n"
               "            if [[ $cur == -* ]]; then\n"
               "                COMPREPLY=($(compgen -W '" +
               flags + "' -- \"$cur\"))\n";
        if (!words.empty())
            out += "            elif [[ $prev == dots ]]; then\n"
                   "                COMPREPLY=($(compgen -W '" +
                   words + "' -- \"$cur\"))\n";
        out += "            else\n"
               "                COMPREPLY=($(compgen -f -- \"$cur\")); compopt -o filenames "
               "2>/dev/null\n"
               "            fi ;;\n";
    }
    out += "    esac\n"
           "}\n"
           "complete -F _quillfire quillfire\n";
    std::fputs(out.c_str(), stdout);
    return std::ferror(stdout) ? 1 : 0;
}
