#include "cli/headless_run.hpp"

#include "cli/console_msg_box.hpp"
#include "cli/headless_window.hpp"
#include "cli/script_waiter.hpp"
#include "engine/file_lists.hpp"
#include "engine/file_replacement.hpp"
#include "engine/install_checks.hpp"
#include "engine/install_record.hpp"
#include "engine/install_run.hpp"
#include "engine/messages.hpp"
#include "engine/restore_run.hpp"
#include "engine/startup.hpp"
#include "engine/text.hpp"
#include "platform/file_system.hpp"

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
    }
    return "";
}

// A run without a window: the machine, the console and the window's state for one mode.
class HeadlessRun {
public:
    HeadlessRun(const Options& options, HeadlessServices& services, std::ostream* log)
        : m_options(options)
        , m_services(services)
        , m_boxes(services.err, log)
        , m_engine{services.programFolder, services.fs,           m_boxes,
                   services.launcher,      services.recordFolder, services.runLock}
        , m_window(windowOptions(), services.now) {}

    int run() {
        // A log that many runs append to tells them apart.
        m_boxes.logLine(concat({"hotfix-installer ", modeOption(m_options.mode), " from ",
                                m_services.programFolder, ", ", RecordTime()}));
        for (const Side side : kSides) {
            LoadListFile(side, {m_services.programFolder, m_services.fs, m_boxes}, m_window);
        }
        if (!rootsExist()) {
            return kBadArguments;
        }
        switch (m_options.mode) {
        case Mode::Check:
            return check();
        case Mode::Install:
            return install();
        case Mode::Restore:
            return restore();
        case Mode::Window:
        case Mode::Help:
            break;
        }
        return kBadArguments;
    }

private:
    HeadlessWindow::Options windowOptions() const {
        const StartupRoots roots =
            ReadStartupRoots(m_services.registry, m_services.settings, m_services.programFolder);
        HeadlessWindow::Options window;
        window.productRoot = m_options.productRoot.value_or(roots.product);
        window.windowsRoot = m_options.windowsRoot.value_or(roots.windows);
        window.suffixText = m_options.suffix.value_or("backup");
        window.dateSuffix = m_options.dateSuffix;
        window.registerDlls = m_options.registerDlls;
        return window;
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

    // Each line is out at once: a run killed midway still shows what it did.
    void print(const std::string& line) {
        m_services.out << line << '\n' << std::flush;
        m_boxes.logLine(line);
    }

    int check() {
        ValidateInstall(m_window, m_engine);
        for (const Side side : kSides) {
            for (int i = 0; i < m_window.itemCount(side); ++i) {
                const ListedFile file = listedFileAt(side, i, m_window, m_services.programFolder);
                const PlannedFile plan = PlanListedFile(file, m_window, m_engine);
                std::string line =
                    concat({sideName(side), "\t", plannedText(plan.action), "\t", file.destination});
                if (plan.action == PlannedAction::Replace ||
                    plan.action == PlannedAction::BackUpOnlyPackageFileMissing) {
                    line += "\t" + plan.backup;
                }
                print(line);
            }
        }
        m_services.out << std::flush;
        return m_window.installState().ChecksPassed ? kSuccess : kFailure;
    }

    int install() {
        if (m_services.showProgress) {
            m_window.onProgress = [this](int done, int total) {
                m_boxes.progress(messages::filesDone(done, total));
            };
        }
        const RunResult result = RunInstall(m_window, m_engine);
        m_boxes.endProgress();
        return exitCode(result);
    }

    int restore() {
        const RunResult result = RunRestore(m_window, m_engine, [this](const RestoredFile& file) {
            print(
                concat({sideName(file.side), "\t", RestoreActionName(file.action), "\t", file.destination}));
        });
        return exitCode(result);
    }

    int exitCode(RunResult result) {
        if (result == RunResult::AnotherRunInProgress) {
            return kAnotherRunInProgress;
        }
        return waitForScripts() && result == RunResult::Succeeded ? kSuccess : kFailure;
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
    ConsoleMsgBox m_boxes;
    EngineServices m_engine;
    HeadlessWindow m_window;
};

} // namespace

int runHeadless(const Options& options, HeadlessServices& services) {
    if (options.mode == Mode::Help) {
        services.out << usageText() << std::flush;
        return kSuccess;
    }
    // The records' folder, where deployment tools are told to keep the log too, is made (protected) before
    // the log is opened in it.
    if (!services.recordFolder.empty()) {
        MakeRecordRoot(services.fs, services.recordFolder);
    }
    std::ofstream log;
    if (options.logFile) {
        const std::u8string name(options.logFile->begin(), options.logFile->end());
        log.open(std::filesystem::path(name), std::ios::binary | std::ios::app);
        if (!log) {
            services.err << "The log file \"" << *options.logFile << "\" cannot be opened for writing.\n";
            return kBadArguments;
        }
    }
    HeadlessRun run(options, services, log.is_open() ? &log : nullptr);
    return run.run();
}

} // namespace hotfix::cli
