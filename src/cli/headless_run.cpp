#include "cli/headless_run.hpp"

#include "cli/console_msg_box.hpp"
#include "cli/headless_window.hpp"
#include "cli/run_report.hpp"
#include "cli/script_waiter.hpp"
#include "engine/file_lists.hpp"
#include "engine/file_replacement.hpp"
#include "engine/install_checks.hpp"
#include "engine/install_record.hpp"
#include "engine/install_run.hpp"
#include "engine/installed_hot_fixes.hpp"
#include "engine/messages.hpp"
#include "engine/restore_run.hpp"
#include "engine/startup.hpp"
#include "engine/text.hpp"
#include "platform/ascii.hpp"
#include "platform/file_system.hpp"
#include "platform/files_in_use.hpp"
#include "platform/run_lock.hpp"

#include <filesystem>
#include <fstream>

namespace hotfix::cli {

namespace {

std::string_view sideName(Side side) {
    return side == Side::Product ? "Vantrel" : "Windows";
}

std::string_view plannedText(PlannedAction action) {
    switch (action) {
    case PlannedAction::Replace:
        return "replace";
    case PlannedAction::CopyNew:
        return "copy new";
    case PlannedAction::PassOverFolderMissing:
        return "pass over, folder missing";
    case PlannedAction::PassOverPackageFileMissing:
        return "pass over, package file missing";
    case PlannedAction::BackUpOnlyPackageFileMissing:
        return "back up only, package file missing";
    case PlannedAction::RefusedNoBackupName:
        return "refused, no free backup name";
    case PlannedAction::RefusedPackageIsRoot:
        return "refused, the root is the package itself";
    case PlannedAction::AlreadyInPlace:
        return "already in place";
    case PlannedAction::WaitingForRestart:
        return "waiting for the restart";
    }
    return "";
}

// A run without a window: the machine, the console and the window's state for one mode.
class HeadlessRun {
public:
    HeadlessRun(const Options& options, HeadlessServices& services, std::ostream* log)
        : m_options(options)
        , m_services(services)
        , m_log(log)
        , m_boxes(services.err, m_log)
        , m_engine{services.programFolder, services.fs,        m_boxes,
                   services.launcher,      services.codePages, services.recordFolder}
        , m_window(windowOptions(), services.now) {
        m_engine.filesInUse = services.filesInUse;
        // The scripts report a library regsvr32 refused; the run waits for them, and fails then.
        m_engine.registrationFailed = [this](const std::string& library, int code) {
            m_boxes.show(messages::notRegistered(library, code));
            m_registrationFailed = true;
            m_failedLibraries.emplace_back(library, code);
        };
        m_engine.fileSettled = [this](const ListedFile& file, FileOutcome outcome, std::string_view reason) {
            m_report.files.push_back({file.side,
                                      file.destination,
                                      std::string(recordOutcomeName(outcome)),
                                      std::string(reason),
                                      {}});
            if (outcome == FileOutcome::Replaced && registersLibrary(file, m_window)) {
                m_registered.push_back(file.destination);
            }
        };
        if (options.json) {
            m_boxes.onShown = [this](std::string_view text) {
                m_report.messages.emplace_back(text);
            };
        }
    }

    int run() {
        const int code = runMode();
        m_log.line("exit code " + std::to_string(code));
        m_log.flush();
        if (m_options.json) {
            m_services.out << reportJson(m_report, m_options.mode, code) << '\n' << std::flush;
        }
        return code;
    }

private:
    int runMode() {
        // From here on no link below a root, the package's folder or the records' is ever followed.
        confineToRoots(m_window, m_engine);
        // A log that many runs append to tells them apart.
        m_boxes.logLine(concat({"hotfix-installer ", modeOption(m_options.mode), " from ",
                                m_services.programFolder, ", ", recordTime()}));
        bool anyList = false;
        for (const Side side : kSides) {
            // A list that is there but cannot be read has a message of its own.
            const std::string list = concat({m_services.programFolder, sideInfo(side).listFile});
            anyList = anyList || m_services.fs.fileExists(list) || m_services.fs.folderExists(list);
            LoadListFile(side,
                         {m_services.programFolder, m_services.fs, m_boxes, m_services.codePages,
                          [this](std::string_view path, int line, std::string_view entry) {
                              complain(concat({"The list \"", path, "\" holds at line ", std::to_string(line),
                                               " an entry that names no file: \"", entry, "\"."}));
                              m_report.badEntries.push_back({std::string(path), line, std::string(entry)});
                          }},
                         m_window);
        }
        if (!anyList) {
            complain(concat({"No list file in \"", m_services.programFolder,
                             "\\Setup\": run the program from the hot fix's folder, or name that folder "
                             "with --package."}));
        }
        if (!rootsExist()) {
            // A hot fix whose roots are not there is not in place.
            return m_options.mode == Mode::Detect ? kFailure : kBadArguments;
        }
        if (const auto refusal = workstationRefusal()) {
            complain(*refusal);
            return kFailure;
        }
        if (m_options.mode == Mode::Install || m_options.mode == Mode::Restore) {
            // Only now, with the arguments known to be good: a run refused leaves the machine as it was.
            if (!m_services.recordFolder.empty()) {
                makeRecordRoot(m_services.fs, m_services.recordFolder);
            }
            useMachineLog();
        }
        m_report.package = packageIdentity(m_window);
        switch (m_options.mode) {
        case Mode::Check:
            return check();
        case Mode::Detect:
            return detect();
        case Mode::Install:
            return install();
        case Mode::Restore:
            return restore();
        case Mode::Window:
        case Mode::Help:
        case Mode::List:
            break;
        }
        return kBadArguments;
    }

    // Every install and restore of a package is logged on the machine, in the records' folder, with each
    // file's outcome and the system's reason for a failure.
    void useMachineLog() {
        if (m_services.recordFolder.empty()) {
            return;
        }
        const std::string folder = m_services.recordFolder + "\\Logs";
        if (m_services.fs.makePrivateFolder(folder) == FileSystem::Privacy::Private) {
            const std::string path = concat({folder, "\\", packageIdentity(m_window), ".log"});
            m_log.useMachineLog(m_services.fs, path);
            m_report.log = path;
            // Named by the package's identity, which nobody can guess: a tool collecting it reads it here.
            m_services.err << "The run is logged in \"" << path << "\".\n" << std::flush;
        }
        m_engine.log = [this](std::string_view line) {
            m_log.line(line);
        };
    }

    HeadlessWindow::Options windowOptions() const {
        const StartupRoots roots =
            readStartupRoots(m_services.registry, m_services.settings, m_services.programFolder);
        HeadlessWindow::Options window;
        window.productRoot = m_options.productRoot.value_or(roots.product);
        window.windowsRoot = m_options.windowsRoot.value_or(roots.windows);
        window.suffixText = m_options.suffix.value_or("backup");
        window.dateSuffix = m_options.dateSuffix;
        window.registerDlls = m_options.registerDlls;
        window.closeApplications = m_options.closeApplications;
        return window;
    }

    // The roots the run would work in, checked against the account running it.
    std::optional<std::string> workstationRefusal() {
        if (!m_services.workstationRefusal) {
            return std::nullopt;
        }
        std::vector<std::string> roots;
        for (const Side side : kSides) {
            if ((side == Side::Product ? m_options.productRoot : m_options.windowsRoot) ||
                m_window.itemCount(side) > 0) {
                roots.push_back(m_window.rootText(side));
            }
        }
        return m_services.workstationRefusal(roots);
    }

    // A root given on the command line must exist, and so must a root found at start-up that a listed file
    // goes to: a wrong root would otherwise pass every file over.
    bool rootsExist() {
        if (m_options.mode == Mode::Restore) {
            return true;
        }
        bool exist = true;
        for (const Side side : kSides) {
            const auto& given = side == Side::Product ? m_options.productRoot : m_options.windowsRoot;
            if (!given && m_window.itemCount(side) == 0) {
                continue;
            }
            const std::string root = m_window.rootText(side);
            if (!m_services.fs.folderExists(root)) {
                const std::string_view option = side == Side::Product ? "--vantrel-root" : "--windows-root";
                complain(concat({"The ", sideName(side), " root \"", root, "\" ",
                                 given ? concat({"given with ", option, " does not exist."})
                                       : concat({"does not exist; give the right one with ", option, "."})}));
                exist = false;
            }
        }
        return exist;
    }

    // What keeps the command line from running at all, for standard error and the log.
    void complain(const std::string& line) {
        m_services.err << line << '\n';
        m_boxes.logLine(line);
    }

    // Each line is out at once: a run killed midway still shows what it did. With --json standard output
    // holds the object alone.
    void print(const std::string& line) {
        if (!m_options.json) {
            m_services.out << line << '\n' << std::flush;
        }
        m_boxes.logLine(line);
    }

    int check() {
        ValidateInstall(m_window, m_engine);
        for (const Side side : kSides) {
            for (int i = 0; i < m_window.itemCount(side); ++i) {
                const ListedFile file = listedFileAt(side, i, m_window, m_services.programFolder);
                const PlannedFile plan = planListedFile(file, m_window, m_engine);
                std::string line =
                    concat({sideName(side), "\t", plannedText(plan.action), "\t", file.destination});
                const bool backedUp = plan.action == PlannedAction::Replace ||
                                      plan.action == PlannedAction::BackUpOnlyPackageFileMissing;
                if (backedUp) {
                    line += "\t" + plan.backup;
                }
                m_report.files.push_back({side,
                                          file.destination,
                                          std::string(plannedText(plan.action)),
                                          {},
                                          backedUp ? plan.backup : std::string()});
                print(line);
            }
        }
        // A library an earlier run replaced but could not register keeps the hot fix from being in place.
        for (const UnregisteredLibrary& library : unregisteredLibraries(m_window, m_engine)) {
            print(concat({sideName(library.side), "\tregister again\t", library.path}));
            m_report.libraries.push_back({library.path, "register again", std::nullopt});
        }
        // Files a running program holds are replaced only at the next restart, unless it closes.
        if (m_services.filesInUse != nullptr) {
            const std::vector<std::string> installed = installedListedFiles(m_window, m_engine);
            const std::vector<FilesInUse::Holder> holders = m_services.filesInUse->holders(installed);
            // Held, but by nobody the system names: the files are named instead.
            for (const std::string& file :
                 holders.empty() ? m_services.filesInUse->heldFiles(installed) : std::vector<std::string>{}) {
                print(concat({"in use\t", file}));
                m_report.heldFiles.push_back(file);
            }
            for (const FilesInUse::Holder& holder : holders) {
                print(concat({"in use by\t", holder.name, "\tprocess ", std::to_string(holder.processId),
                              holder.service ? "\tservice" : ""}));
                m_report.holders.push_back({holder.name, holder.processId, holder.service});
            }
        }
        m_services.out << std::flush;
        // A list with an entry that names no file is not the package its maker meant.
        return m_window.installState().ChecksPassed && m_report.badEntries.empty() ? kSuccess : kFailure;
    }

    // One line on standard output, and exit 0, only where the hot fix is in place: what a deployment tool's
    // detection rule asks. Changes nothing.
    int detect() {
        if (!hotFixInPlace(m_window, m_engine)) {
            return kFailure;
        }
        print(concat({"HotFix ", packageIdentity(m_window), " is in place"}));
        return kSuccess;
    }

    int install() {
        if (m_services.showProgress) {
            m_window.onProgress = [this](int done, int total) {
                m_boxes.progress(messages::filesDone(done, total));
            };
        }
        InstallOutcome outcome;
        const RunResult result = runInstall(m_window, m_engine, &outcome);
        m_boxes.endProgress();
        const bool scriptsEnded = waitForScripts();
        reportRegistration(scriptsEnded);
        const int code = exitCode(result, scriptsEnded);
        // Applied only once every library is registered too.
        if (outcome.applied && code != kFailure) {
            m_boxes.show(messages::hotFixApplied());
        }
        // Whole or not at all: a failed install takes back what it changed, a library it could not register
        // included, once its scripts have ended (one still running may hold a file it would put back).
        if (code == kFailure && outcome.recorded && scriptsEnded && !m_options.keepPartial) {
            rollBackInstall(m_window, m_engine, [this](const RestoredFile& file) {
                printUndone(file);
                m_report.rolledBack.push_back(
                    {file.side, file.destination, std::string(restoreActionName(file.action)), {}, {}});
            });
            waitForScripts();
        }
        return code;
    }

    int restore() {
        // The engine logs each file, with the reason of a failure; standard output gets it once more.
        const RunResult result = runRestore(m_window, m_engine, [this](const RestoredFile& file) {
            printUndone(file);
            m_report.files.push_back(
                {file.side, file.destination, std::string(restoreActionName(file.action)), {}, {}});
        });
        return exitCode(result, waitForScripts());
    }

    // Each library the install replaced, and those earlier runs left unregistered that the scripts took.
    void reportRegistration(bool scriptsEnded) {
        for (const auto& [library, code] : m_failedLibraries) {
            m_report.libraries.push_back({library, "failed", code});
        }
        for (const std::string& library : m_registered) {
            const bool failed = std::any_of(m_failedLibraries.begin(), m_failedLibraries.end(),
                                            [&](const auto& each) { return each.first == library; });
            if (!failed) {
                m_report.libraries.push_back(
                    {library, scriptsEnded ? "registered" : "not known", std::nullopt});
            }
        }
    }

    void printUndone(const RestoredFile& file) {
        if (m_options.json) {
            return;
        }
        m_services.out << concat({sideName(file.side), "\t", restoreActionName(file.action), "\t",
                                  file.destination})
                       << '\n'
                       << std::flush;
    }

    int exitCode(RunResult result, bool scriptsEnded) const {
        const bool succeeded = result == RunResult::Succeeded || result == RunResult::RestartNeeded;
        if (!scriptsEnded || !succeeded || m_registrationFailed) {
            return kFailure;
        }
        return result == RunResult::RestartNeeded ? kRestartNeeded : kSuccess;
    }

    bool waitForScripts() {
        if (m_services.launcher.waitForScripts(m_services.scriptBound)) {
            return true;
        }
        m_boxes.show(messages::scriptsStillRunning(
            std::chrono::duration_cast<std::chrono::seconds>(m_services.scriptBound).count()));
        return false;
    }

    const Options& m_options;
    HeadlessServices& m_services;
    RunLog m_log;
    ConsoleMsgBox m_boxes;
    EngineServices m_engine;
    HeadlessWindow m_window;
    bool m_registrationFailed = false;
    RunReport m_report;
    // The libraries the install replaced and registers, and those the scripts reported failed.
    std::vector<std::string> m_registered;
    std::vector<std::pair<std::string, int>> m_failedLibraries;
};

} // namespace

namespace {

std::filesystem::path logPath(const std::string& name) {
    return std::u8string(name.begin(), name.end());
}

// Another run holds the machine: said on standard error, and in a --log file that is there already; nothing
// is made, not even that file.
int busy(const Options& options, const std::optional<std::string>& logFile, HeadlessServices& services) {
    std::ofstream log;
    std::error_code error;
    if (logFile && std::filesystem::is_regular_file(logPath(*logFile), error)) {
        log.open(logPath(*logFile), std::ios::binary | std::ios::app);
    }
    RunLog lines(log.is_open() ? &log : nullptr);
    ConsoleMsgBox boxes(services.err, lines);
    boxes.show(messages::anotherRunInProgress());
    lines.line("exit code " + std::to_string(kAnotherRunInProgress));
    if (options.json) {
        RunReport report;
        report.messages.push_back(messages::anotherRunInProgress().shownTitle() + ": " +
                                  messages::anotherRunInProgress().prompt);
        services.out << reportJson(report, options.mode, kAnotherRunInProgress) << '\n' << std::flush;
    }
    return kAnotherRunInProgress;
}

// Whether the --log file would lie straight in the records' folder that is not there yet: deployment tools
// are told to keep it there, so that folder is made for it (and for nothing else before the run is known to
// be good).
bool logWaitsForRecordFolder(const std::string& logFile, HeadlessServices& services) {
    const std::string& records = services.recordFolder;
    const auto separator = records.find_last_of("\\/");
    if (records.empty() || separator == std::string::npos || services.fs.folderExists(records)) {
        return false;
    }
    const std::filesystem::path folder = logPath(logFile).parent_path();
    const auto parent = services.fs.identity(records.substr(0, separator));
    const std::u8string name = folder.filename().u8string();
    return parent && parent == services.fs.identity(folder.parent_path().string()) &&
           asciiLowered(std::string(name.begin(), name.end())) == asciiLowered(records.substr(separator + 1));
}

// The hot fixes the records know of: a line each, or one JSON object. Reads only, and takes no lock: a record
// being written shows as far as it is.
int listInstalled(const Options& options, HeadlessServices& services) {
    const std::vector<InstalledHotFix> fixes = services.recordFolder.empty()
                                                   ? std::vector<InstalledHotFix>{}
                                                   : installedHotFixes(services.fs, services.recordFolder);
    if (options.json) {
        services.out << installedJson(fixes) << '\n' << std::flush;
        return kSuccess;
    }
    for (const InstalledHotFix& fix : fixes) {
        if (!fix.refusal.empty()) {
            services.out << concat({fix.identity, "\trefused: ", fix.refusal}) << '\n';
            continue;
        }
        const std::string state = fix.inPlace    ? "in place"
                                  : fix.restored ? "restored " + fix.restoredAt
                                                 : "not in place";
        services.out << concat({fix.identity, "\t", state, "\t", fix.installedAt, "\t",
                                fix.mode.empty() ? "-" : fix.mode, "\t", fix.result, "\t", fix.packageFolder})
                     << '\n';
    }
    services.out << std::flush;
    return kSuccess;
}

} // namespace

int runHeadless(const Options& options, HeadlessServices& services) {
    if (options.mode == Mode::Help) {
        services.out << usageText() << std::flush;
        return kSuccess;
    }
    if (options.mode == Mode::List) {
        return listInstalled(options, services);
    }
    // The machine is this run's before anything is made or written (the records' folder, the logs, the
    // --log file), and until the scripts it starts have ended: a busy run leaves no trace.
    const bool changes = options.mode == Mode::Install || options.mode == Mode::Restore;
    // A drive letter names a place on the workstation, wherever the program runs.
    std::optional<std::string> logFile = options.logFile;
    if (logFile && services.hostPath) {
        logFile = services.hostPath(*logFile);
    }
    const RunLockHold lock(changes ? services.runLock : nullptr);
    if (!lock.held()) {
        return busy(options, logFile, services);
    }
    std::ofstream log;
    if (logFile && !changes && logWaitsForRecordFolder(*logFile, services)) {
        // A look makes nothing: before the first install there is nothing of the hot fix to log either.
        services.err << "The log file \"" << *options.logFile
                     << "\" is not written: its folder is made by the first install.\n";
        logFile.reset();
    }
    if (logFile) {
        const bool madeForLog = changes && logWaitsForRecordFolder(*logFile, services);
        if (madeForLog) {
            makeRecordRoot(services.fs, services.recordFolder);
        }
        log.open(logPath(*logFile), std::ios::binary | std::ios::app);
        if (!log && madeForLog) {
            // A refused run leaves nothing: the folder made for the log alone goes again (only while empty).
            std::error_code ignored;
            std::filesystem::remove(logPath(*logFile).parent_path(), ignored);
        }
        if (!log) {
            services.err << "The log file \"" << *options.logFile << "\" cannot be opened for writing.\n";
            if (options.json) {
                RunReport report;
                report.messages.push_back(
                    concat({"The log file \"", *options.logFile, "\" cannot be opened for writing."}));
                services.out << reportJson(report, options.mode, kBadArguments) << '\n' << std::flush;
            }
            return kBadArguments;
        }
    }
    HeadlessRun run(options, services, log.is_open() ? &log : nullptr);
    return run.run();
}

} // namespace hotfix::cli
