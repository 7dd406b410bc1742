#include "engine/registration_script.hpp"

#include "engine/engine_services.hpp"
#include "engine/install_record.hpp"
#include "engine/messages.hpp"
#include "engine/text.hpp"
#include "platform/ascii.hpp"
#include "platform/file_system.hpp"
#include "platform/msg_box.hpp"
#include "platform/package_text.hpp"
#include "platform/process_launcher.hpp"

#include <algorithm>
#include <optional>

namespace hotfix {

namespace {

// Characters that make cmd do more than take a word as it stands.
constexpr std::string_view kCmdSpecial = "&|<>^%(),;=!";

// cd takes the rest of its line as the folder; elsewhere a blank ends a word.
enum class Blanks { NeedQuotes, AreFine };

bool needsQuotes(std::string_view text, Blanks blanks) {
    return text.find_first_of(kCmdSpecial) != std::string_view::npos ||
           (blanks == Blanks::NeedQuotes && text.find(' ') != std::string_view::npos);
}

std::string quotedIfNeeded(std::string_view text, Blanks blanks) {
    return needsQuotes(text, blanks) ? concat({"\"", text, "\""}) : std::string(text);
}

// cmd expands %...% even inside quotes; a doubled "%" stands for itself in a script.
std::string doublePercent(std::string line) {
    for (std::size_t at = line.find('%'); at != std::string::npos; at = line.find('%', at + 2)) {
        line.insert(at, 1, '%');
    }
    return line;
}

// Removes a script file without trusting one answer alone: a delete that was refused is tried again with the
// file's attributes cleared, unless the file turns out not to be there.
void removeScriptFile(FileSystem& fs, const std::string& path) {
    if (!fs.deleteFile(path) && fs.fileExists(path)) {
        fs.clearAttributes(path);
        fs.deleteFile(path);
    }
}

} // namespace

bool unsafeForScript(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return c == '"' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7F;
    });
}

bool isLibrary(std::string_view name) {
    const std::string_view tail = name.size() > 3 ? name.substr(name.size() - 3) : name;
    return asciiLowered(tail) == "dll";
}

std::vector<std::string> registrationLines(LibraryInScript place, std::string_view silentSwitch,
                                           std::string_view name, std::string_view destinationFolder) {
    const bool firstLibrary = place == LibraryInScript::First;
    const std::string drive = quotedIfNeeded(destinationFolder.substr(0, 2), Blanks::NeedQuotes);
    const std::string change = "cd " + quotedIfNeeded(destinationFolder, Blanks::AreFine);
    const std::string library = concat({silentSwitch, quotedIfNeeded(name, Blanks::NeedQuotes)});
    // A failed drive or folder change sets the exit code to 1 in Windows' and Wine's cmd alike; "&&" after
    // a failed cd runs its command all the same in Wine's. "(call )" sets the exit code to 0.
    // The first library's block also goes to the drive's root; a further one clears the exit code instead.
    // The blanks after regsvr32 differ between the two blocks and are kept as they always were.
    std::vector<std::string> lines = {firstLibrary ? "pushd \\" : "(call )",
                                      drive,
                                      change,
                                      "if not errorlevel 1 (",
                                      (firstLibrary ? "regsvr32 -u " : "regsvr32 -u  ") + library,
                                      (firstLibrary ? "regsvr32 " : "regsvr32    ") + library,
                                      ")"};
    for (std::string& line : lines) {
        line = doublePercent(std::move(line));
    }
    return lines;
}

std::string selfRemovalLine(std::string_view scriptFileName, bool reporting) {
    // By its bare name in its own folder: the folder's text, expanded from %~f0, would be expanded once more
    // by Wine's cmd where it holds "%".
    return concat({"popd & del ", scriptFileName, reporting ? " & exit %hotfixFailed%" : " & exit"});
}

std::string reportLine(int place) {
    // On a line of its own, after the block: cmd expands %errorlevel% as it reads the line, once the
    // block's regsvr32 (or the failed change of folder) has set it.
    return "if errorlevel 1 if \"%hotfixFailed%\"==\"0\" set /a \"hotfixFailed=" +
           std::to_string(std::min(place, 15)) + "*16+(%errorlevel%&15)\"";
}

std::optional<RegistrationFailure> decodeRegistrationExit(int exitCode) {
    if (exitCode == 0) {
        return std::nullopt;
    }
    // An interpreter that ended otherwise (killed, crashed) tells no place.
    if (exitCode < 16 || exitCode > 255) {
        return RegistrationFailure{0, exitCode};
    }
    return RegistrationFailure{exitCode / 16, exitCode % 16};
}

std::string registrationAfterRestartName(std::string_view library) {
    return concat({"HotFix Installer: ", library});
}

std::optional<std::string> registrationAfterRestartCommand(std::string_view library) {
    if (unsafeForScript(library)) {
        return std::nullopt;
    }
    return concat({"regsvr32.exe /s \"", library, "\""});
}

RegistrationScript::RegistrationScript(Side side, const EngineServices& services, std::string silentSwitch)
    : m_services(services)
    , m_side(side)
    , m_silentSwitch(std::move(silentSwitch))
    , m_basePath(concat({services.programFolder, sideInfo(side).scriptName}))
    , m_path(m_basePath) {}

bool RegistrationScript::create() {
    if (createIn(m_basePath)) {
        return true;
    }
    // A package folder that cannot be written (a share users may only read): the scripts go to the
    // records' folder, which only administrators may change, and run from there.
    FileSystem& fs = m_services.fs;
    const std::string scripts = concat({m_services.recordFolder, "\\Scripts"});
    const std::string name = m_basePath.substr(m_basePath.rfind('\\'));
    return !m_services.recordFolder.empty() && fs.folderExists(m_services.recordFolder) &&
           fs.makePrivateFolder(scripts) == FileSystem::Privacy::Private && createIn(scripts + name);
}

bool RegistrationScript::createIn(const std::string& basePath) {
    FileSystem& fs = m_services.fs;
    const std::string stem = basePath.substr(0, basePath.size() - std::string_view(".bat").size());
    for (int n = 1;; ++n) {
        m_path = n == 1 ? basePath : stem + "_" + std::to_string(n) + ".bat";
        // A file of that name may be a script that an interpreter still runs; this run takes the next name.
        if (fs.attributes(m_path)) {
            continue;
        }
        // Recorded before it exists: a run cut off once it is made leaves a script the next one knows.
        if (!m_recordPath.empty()) {
            recordScript(fs, m_recordPath, m_side, m_path);
        }
        if (fs.createTextFile(m_path)) {
            m_created = true;
            return true;
        }
        // Taken meanwhile (by an installer on another machine sharing the folder), or no file can be made.
        if (!fs.attributes(m_path)) {
            return false;
        }
    }
}

void RegistrationScript::removeOwnScript() {
    if (m_created) {
        removeScriptFile(m_services.fs, m_path);
    }
}

bool RegistrationScript::appendLines(std::span<const std::string> lines) {
    const std::optional<std::string> bytes = encodeScriptLines(lines, m_services.codePages);
    return bytes && m_services.fs.appendToFile(m_path, *bytes);
}

bool RegistrationScript::AddLibrary(std::string_view name, std::string_view destinationFolder) {
    // Quoting is decided on the text as cmd will read it, after the conversion to its code page.
    const auto nameText = scriptText(name, m_services.codePages);
    const auto folderText = scriptText(destinationFolder, m_services.codePages);
    if (!nameText || !folderText || unsafeForScript(*nameText) || unsafeForScript(*folderText)) {
        m_services.msgBox.show(messages::cannotRegister(concat({destinationFolder, name})));
        return false;
    }
    const LibraryInScript place = m_started ? LibraryInScript::Further : LibraryInScript::First;
    if (!m_started) {
        m_started = true;
        m_writeFailed = !create();
    }
    std::vector<std::string> lines = registrationLines(place, m_silentSwitch, *nameText, *folderText);
    if (m_services.registrationFailed) {
        if (place == LibraryInScript::First) {
            lines.insert(lines.begin() + 1, "set hotfixFailed=0");
        }
    }
    m_libraries.push_back(concat({destinationFolder, name}));
    if (m_services.registrationFailed) {
        lines.push_back(reportLine(static_cast<int>(m_libraries.size())));
    }
    if (!m_writeFailed) {
        m_writeFailed = !appendLines(lines);
    }
    return !m_writeFailed;
}

bool RegistrationScript::holds(std::string_view library) const {
    return std::find(m_libraries.begin(), m_libraries.end(), library) != m_libraries.end();
}

bool RegistrationScript::FinishScript() {
    if (!m_started) {
        return true;
    }
    FileSystem& fs = m_services.fs;
    const bool reporting = static_cast<bool>(m_services.registrationFailed);
    if (!m_writeFailed) {
        const std::string fileName = m_path.substr(m_path.rfind('\\') + 1);
        m_writeFailed = !appendLines(std::vector<std::string>{selfRemovalLine(fileName, reporting)});
    }
    if (m_writeFailed) {
        m_services.msgBox.show(messages::couldNotWriteScript(m_path));
        removeOwnScript();
        return false;
    }
    const std::optional<std::string> identity = fs.identity(m_path);
    const auto failed = m_services.registrationFailed;
    // Before the start: a run cut off while the script runs leaves a side started and never ended. The
    // record is the run's own until its scripts have ended (the caller holds the run lock till then).
    const std::string record = m_recordStates ? m_recordPath : std::string();
    if (!record.empty()) {
        recordRegistration(fs, record, m_side, reporting ? kRegistrationStarted : kRegistrationSilent);
    }
    const bool launched = m_services.launcher.startScript(
        m_path,
        [&fs, path = m_path, identity, failed, libraries = m_libraries, record, side = m_side](int exitCode) {
            // The script has removed itself unless its interpreter ended early. Another installer may since
            // have made a new script of that name, which stays.
            if (identity && fs.identity(path) == identity) {
                removeScriptFile(fs, path);
            }
            const auto failure = failed ? decodeRegistrationExit(exitCode) : std::nullopt;
            if (failed && !record.empty()) {
                recordRegistration(fs, record, side, failure ? kRegistrationFailed : kRegistrationSucceeded);
            }
            if (failure) {
                const std::size_t place = static_cast<std::size_t>(failure->place);
                failed(place >= 1 && place <= libraries.size() ? libraries[place - 1] : path, failure->code);
            }
        });
    if (!launched) {
        m_services.msgBox.show(messages::couldNotStart(m_path));
        removeOwnScript();
        return false;
    }
    return true;
}

} // namespace hotfix
