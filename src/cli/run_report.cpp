#include "cli/run_report.hpp"

#include "engine/installed_hot_fixes.hpp"

#include <nlohmann/json.hpp>

namespace hotfix::cli {

namespace {

using nlohmann::json;

std::string_view sideText(Side side) {
    return side == Side::Product ? "Vantrel" : "Windows";
}

std::string_view meaning(Mode mode, int exitCode) {
    switch (exitCode) {
    case kSuccess:
        return mode == Mode::Detect ? "in place" : "succeeded";
    case kFailure:
        return mode == Mode::Detect ? "not in place" : "failed";
    case kBadArguments:
        return "bad arguments";
    case kAnotherRunInProgress:
        return "another run in progress";
    case kRestartNeeded:
        return "restart needed";
    default:
        return "";
    }
}

json filesJson(const std::vector<RunReport::File>& files) {
    json list = json::array();
    for (const RunReport::File& file : files) {
        json entry = {
            {"side", sideText(file.side)}, {"destination", file.destination}, {"action", file.action}};
        if (!file.reason.empty()) {
            entry["reason"] = file.reason;
        }
        if (!file.backup.empty()) {
            entry["backup"] = file.backup;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

// Text that is not UTF-8 (a name in a code page the run could not convert) is replaced, never a throw.
std::string dumped(const json& object) {
    return object.dump(2, ' ', false, json::error_handler_t::replace);
}

} // namespace

std::string reportJson(const RunReport& report, Mode mode, int exitCode) {
    json object = {{"mode", std::string(modeOption(mode)).substr(2)},
                   {"exitCode", exitCode},
                   {"result", meaning(mode, exitCode)},
                   {"package", report.package.empty() ? json(nullptr) : json(report.package)},
                   {"log", report.log.empty() ? json(nullptr) : json(report.log)},
                   {"files", filesJson(report.files)}};
    if (!report.rolledBack.empty()) {
        object["rolledBack"] = filesJson(report.rolledBack);
    }
    json libraries = json::array();
    for (const RunReport::Library& library : report.libraries) {
        json entry = {{"path", library.path}, {"outcome", library.outcome}};
        if (library.code) {
            entry["code"] = *library.code;
        }
        libraries.push_back(std::move(entry));
    }
    object["registration"] = std::move(libraries);
    json bad = json::array();
    for (const RunReport::BadEntry& entry : report.badEntries) {
        bad.push_back({{"list", entry.list}, {"line", entry.line}, {"entry", entry.entry}});
    }
    object["badEntries"] = std::move(bad);
    if (mode == Mode::Check) {
        json holders = json::array();
        for (const RunReport::Holder& holder : report.holders) {
            holders.push_back(
                {{"name", holder.name}, {"processId", holder.processId}, {"service", holder.service}});
        }
        object["inUseBy"] = std::move(holders);
        object["heldFiles"] = report.heldFiles;
    }
    object["messages"] = report.messages;
    return dumped(object);
}

std::string installedJson(const std::vector<InstalledHotFix>& fixes) {
    json list = json::array();
    for (const InstalledHotFix& fix : fixes) {
        json entry = {{"package", fix.identity}};
        if (!fix.refusal.empty()) {
            entry["refused"] = fix.refusal;
            list.push_back(std::move(entry));
            continue;
        }
        const auto orNull = [](const std::string& text) {
            return text.empty() ? json(nullptr) : json(text);
        };
        entry["packageFolder"] = orNull(fix.packageFolder);
        entry["installedAt"] = orNull(fix.installedAt);
        entry["installedBy"] = orNull(fix.mode);
        entry["result"] = orNull(fix.result);
        entry["inPlace"] = fix.inPlace;
        entry["restored"] = fix.restored;
        entry["restoredAt"] = orNull(fix.restoredAt);
        list.push_back(std::move(entry));
    }
    return dumped(json{{"mode", "list"}, {"exitCode", kSuccess}, {"hotFixes", std::move(list)}});
}

} // namespace hotfix::cli
