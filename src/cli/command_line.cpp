#include "cli/command_line.hpp"

#include "engine/backup_name.hpp"
#include "engine/name_rules.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace hotfix::cli {

namespace {

struct ModeName {
    std::string_view name;
    Mode mode;
};

constexpr std::array<ModeName, 9> kModes = {{
    {"--check", Mode::Check},
    {"--list", Mode::List},
    {"--detect", Mode::Detect},
    {"--install", Mode::Install},
    {"--restore", Mode::Restore},
    {"--help", Mode::Help},
    {"-?", Mode::Help},
    {"/?", Mode::Help},
    {"-h", Mode::Help},
}};

// The toolkit's own options (Qt's QApplication and its platforms), which the window takes: those that take
// a value, given as "-style fusion" or "-style=fusion", and the flags.
constexpr std::array<std::string_view, 13> kToolkitValueOptions = {
    "-platform",    "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
    "-qwindowicon", "-qwindowtitle",       "-session",       "-style",  "-stylesheet",
    "-display",     "-geometry",           "-qmljsdebugger"};
constexpr std::array<std::string_view, 5> kToolkitFlags = {"-reverse", "-widgetcount", "-nograb", "-dograb",
                                                           "-sync"};

bool startsWithDashes(const std::string& argument) {
    return argument.starts_with("--") || argument == "-?" || argument == "/?" || argument == "-h";
}

// How many arguments from index on are one toolkit option; none when the argument is no toolkit option.
std::size_t toolkitOption(const std::vector<std::string>& arguments, std::size_t index) {
    const std::string& argument = arguments[index];
    if (std::find(kToolkitFlags.begin(), kToolkitFlags.end(), argument) != kToolkitFlags.end()) {
        return 1;
    }
    for (const std::string_view option : kToolkitValueOptions) {
        if (argument.starts_with(option) && argument.size() > option.size() &&
            argument[option.size()] == '=') {
            return 1;
        }
        if (argument == option) {
            return index + 1 < arguments.size() ? 2 : 0;
        }
    }
    return 0;
}

// Whether the arguments are the toolkit's options alone, which open the window.
bool onlyToolkitOptions(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size();) {
        const std::size_t taken = toolkitOption(arguments, i);
        if (taken == 0) {
            return false;
        }
        i += taken;
    }
    return true;
}

// A relative root would put the files wherever the program happens to run from.
std::optional<std::string> rootError(const std::optional<std::string>& root, std::string_view option) {
    if (!root || isAbsoluteRoot(*root)) {
        return std::nullopt;
    }
    return std::string(option) +
           " needs an absolute path with no . or .. folder, such as C:\\Program Files " +
           "or \\\\server\\share: " + *root + " is not one.";
}

ArgumentError error(std::string message) {
    return {std::move(message) + "\nRun hotfix-installer --help for the modes and their options."};
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& arguments)
        : m_arguments(arguments) {}

    std::variant<Options, ArgumentError> parse() {
        while (m_next < m_arguments.size()) {
            const std::string argument = m_arguments[m_next++];
            if (auto failure = take(argument)) {
                return error(std::move(*failure));
            }
        }
        if (auto failure = checkCombination()) {
            return error(std::move(*failure));
        }
        return m_options;
    }

private:
    // Nothing when the argument was taken, else what is wrong with it.
    std::optional<std::string> take(const std::string& argument) {
        const auto mode = std::find_if(kModes.begin(), kModes.end(),
                                       [&](const ModeName& each) { return each.name == argument; });
        if (mode != kModes.end()) {
            if (m_options.mode != Mode::Window) {
                return "Give one mode only: " + argument + " follows another mode.";
            }
            m_options.mode = mode->mode;
            return std::nullopt;
        }
        if (argument == "--date-suffix") {
            return flag(m_options.dateSuffix, argument);
        }
        if (argument == "--register-dlls") {
            return flag(m_options.registerDlls, argument);
        }
        if (argument == "--close-applications") {
            return flag(m_options.closeApplications, argument);
        }
        if (argument == "--json") {
            return flag(m_options.json, argument);
        }
        if (argument == "--keep-partial") {
            return flag(m_options.keepPartial, argument);
        }
        if (argument == "--vantrel-root") {
            return value(m_options.productRoot, argument);
        }
        if (argument == "--windows-root") {
            return value(m_options.windowsRoot, argument);
        }
        if (argument == "--suffix") {
            return value(m_options.suffix, argument);
        }
        if (argument == "--log") {
            return value(m_options.logFile, argument);
        }
        if (argument == "--package") {
            return value(m_options.packageFolder, argument);
        }
        return "Unknown argument: " + argument;
    }

    static std::optional<std::string> flag(bool& target, const std::string& name) {
        if (target) {
            return name + " is given twice.";
        }
        target = true;
        return std::nullopt;
    }

    std::optional<std::string> value(std::optional<std::string>& target, const std::string& name) {
        if (target) {
            return name + " is given twice.";
        }
        if (m_next >= m_arguments.size() || startsWithDashes(m_arguments[m_next])) {
            return name + " needs a value.";
        }
        target = m_arguments[m_next++];
        if (target->find_first_not_of(' ') == std::string::npos) {
            return name + " needs a value that is not blank.";
        }
        return std::nullopt;
    }

    std::optional<std::string> checkCombination() const {
        const Options& o = m_options;
        if (o.mode == Mode::Window) {
            return "Give a mode: --check, --detect, --install, --restore or --list.";
        }
        if (o.mode == Mode::List &&
            (o.productRoot || o.windowsRoot || o.suffix || o.dateSuffix || o.registerDlls ||
             o.closeApplications || o.keepPartial || o.logFile || o.packageFolder)) {
            return "--list takes no option but --json: it reads the records of every hot fix.";
        }
        if (o.json && o.mode == Mode::Help) {
            return "--json goes with --check, --detect, --install, --restore or --list.";
        }
        if (o.suffix && o.dateSuffix) {
            return "--suffix and --date-suffix exclude each other: give one.";
        }
        // The checks make the suffix of "_" and the text.
        if (o.suffix && !isBackupSuffix("_" + *o.suffix)) {
            return "--suffix cannot hold any of \\ / : * ? \" < > | or a control character (it becomes part "
                   "of file names).";
        }
        if (auto failure = rootError(o.productRoot, "--vantrel-root")) {
            return failure;
        }
        if (auto failure = rootError(o.windowsRoot, "--windows-root")) {
            return failure;
        }
        const bool installOptions =
            o.productRoot || o.windowsRoot || o.suffix || o.dateSuffix || o.registerDlls;
        if (installOptions && (o.mode == Mode::Restore || o.mode == Mode::Help)) {
            return std::string(o.mode == Mode::Restore ? "--restore" : "--help") +
                   " takes no root, suffix or registration option: it works from the install record.";
        }
        if ((o.suffix || o.dateSuffix || o.registerDlls) && o.mode == Mode::Detect) {
            return "--detect takes no suffix or registration option: it only looks at the listed files.";
        }
        if (o.closeApplications && o.mode != Mode::Install) {
            return "--close-applications goes with --install only.";
        }
        if (o.keepPartial && o.mode != Mode::Install) {
            return "--keep-partial goes with --install only.";
        }
        return std::nullopt;
    }

    const std::vector<std::string>& m_arguments;
    std::size_t m_next = 0;
    Options m_options;
};

} // namespace

std::variant<Options, ArgumentError> parseCommandLine(const std::vector<std::string>& arguments) {
    if (onlyToolkitOptions(arguments)) {
        return Options{};
    }
    return Parser(arguments).parse();
}

std::string_view modeOption(Mode mode) {
    const auto found = std::find_if(kModes.begin(), kModes.end(),
                                    [mode](const ModeName& each) { return each.mode == mode; });
    return found != kModes.end() ? found->name : std::string_view();
}

std::string usageText() {
    return "Usage:\n"
           "  hotfix-installer                  the installer's window\n"
           "  hotfix-installer --check   [OPTIONS]  what an install would do; changes nothing\n"
           "  hotfix-installer --detect  [--vantrel-root PATH] [--windows-root PATH] [--log FILE]\n"
           "                                    one line and exit 0 when the hot fix is in place; changes "
           "nothing\n"
           "  hotfix-installer --install [OPTIONS]  installs the hot fix without a window\n"
           "  hotfix-installer --restore [--log FILE]  undoes every install of this package since the last "
           "restore\n"
           "  hotfix-installer --list    [--json]   the hot fixes recorded on this workstation\n"
           "  hotfix-installer --help | -h | /?     this text\n"
           "\n"
           "OPTIONS:\n"
           "  --vantrel-root PATH   the product family's root (default: from the registry)\n"
           "  --windows-root PATH   the Windows root (default: from the registry)\n"
           "  --suffix TEXT         old files are kept as NAME_TEXT (default: backup)\n"
           "  --date-suffix         old files are kept as NAME-year.month.day.hour.minute\n"
           "  --register-dlls       registers the product's replaced libraries too\n"
           "  --close-applications  (--install) closes the programs that hold listed files, and starts\n"
           "                        them again afterwards; otherwise their files are replaced at restart\n"
           "  --keep-partial        (--install) a failed install keeps the files it changed; otherwise\n"
           "                        it puts each one back as it was and says so\n"
           "  --log FILE            appends every message to FILE as well (any mode)\n"
           "  --package DIR         the hot fix in DIR, where this program does not lie in it (any mode)\n"
           "  --json                the result as one JSON object on standard output (any mode but\n"
           "                        --help); messages stay on standard error\n"
           "\n"
           "Without --package the program works on the hot fix in its own folder, beside the package's\n"
           "Setup\\ folder. Install and restore name the machine's log of the package on standard error.\n"
#ifndef _WIN32
           "The workstation is the Wine prefix that WINEPREFIX names (~/.wine when it is not set); it must\n"
           "exist. Paths with a drive letter, --log's too, lie in that prefix.\n"
#endif
           "\n"
           "Exit codes: 0 success, 1 failure (the messages say why), 2 bad arguments, or a root or a\n"
           "workstation that does not exist (nothing was changed), " +
           std::to_string(kAnotherRunInProgress) +
           " another install or restore is running (nothing was changed; try again later)" +
           (kRestartsReplaceFiles ? ",\n3010 done, and a restart completes it.\n"
                                  : ".\nNo run needs a restart here: files in use are replaced at once.\n");
}

} // namespace hotfix::cli
