#include "cli/command_line.hpp"

#include <algorithm>
#include <array>
#include <string_view>

namespace hotfix::cli {

namespace {

// No backup name can hold these, and ":" would hide the backup in a stream.
constexpr std::string_view kBadSuffixCharacters = "\\/:*?\"<>|";

struct ModeName {
    std::string_view name;
    Mode mode;
};

constexpr std::array<ModeName, 5> kModes = {{
    {"--check", Mode::Check},
    {"--install", Mode::Install},
    {"--restore", Mode::Restore},
    {"--help", Mode::Help},
    {"-?", Mode::Help},
}};

bool startsWithDashes(const std::string& argument) {
    return argument.starts_with("--") || argument == "-?" || argument == "/?";
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
        const auto mode = std::find_if(kModes.begin(), kModes.end(), [&](const ModeName& each) {
            return each.name == argument || (argument == "/?" && each.mode == Mode::Help);
        });
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
            return "Give a mode: --check, --install or --restore.";
        }
        if (o.suffix && o.dateSuffix) {
            return "--suffix and --date-suffix exclude each other: give one.";
        }
        if (o.suffix && o.suffix->find_first_of(kBadSuffixCharacters) != std::string::npos) {
            return "--suffix cannot hold any of \\ / : * ? \" < > | (it becomes part of file names).";
        }
        const bool installOptions =
            o.productRoot || o.windowsRoot || o.suffix || o.dateSuffix || o.registerDlls;
        if (installOptions && (o.mode == Mode::Restore || o.mode == Mode::Help)) {
            return std::string(o.mode == Mode::Restore ? "--restore" : "--help") +
                   " takes no root, suffix or registration option: it works from the install record.";
        }
        return std::nullopt;
    }

    const std::vector<std::string>& m_arguments;
    std::size_t m_next = 0;
    Options m_options;
};

} // namespace

std::variant<Options, ArgumentError> parseCommandLine(const std::vector<std::string>& arguments) {
    if (std::none_of(arguments.begin(), arguments.end(), startsWithDashes)) {
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
           "  hotfix-installer --install [OPTIONS]  installs the hot fix without a window\n"
           "  hotfix-installer --restore [--log FILE]  puts back what the last install of this package "
           "replaced\n"
           "\n"
           "OPTIONS:\n"
           "  --vantrel-root PATH   the product family's root (default: from the registry)\n"
           "  --windows-root PATH   the Windows root (default: from the registry)\n"
           "  --suffix TEXT         old files are kept as NAME_TEXT (default: backup)\n"
           "  --date-suffix         old files are kept as NAME-year.month.day.hour.minute\n"
           "  --register-dlls       registers the product's replaced libraries too\n"
           "  --log FILE            appends every message to FILE as well\n"
           "\n"
           "Exit codes: 0 success, 1 failure (the messages say why), 2 bad arguments or a root that does\n"
           "not exist (nothing was changed).\n";
}

} // namespace hotfix::cli
