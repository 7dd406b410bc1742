#include "engine/backup_name.hpp"

#include "engine/name_rules.hpp"

#include <algorithm>

namespace hotfix {

namespace {

bool isDigits(std::string_view text, std::size_t most) {
    return !text.empty() && text.size() <= most &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A file or a folder: whatever has attributes is there.
bool taken(FileSystem& fs, const std::string& path) {
    return fs.attributes(path).has_value();
}

} // namespace

bool isBackupSuffix(std::string_view suffix) {
    return suffix.find_first_not_of(". ") != std::string_view::npos &&
           suffix.find_first_of(kBadSuffixCharacters) == std::string_view::npos &&
           !holdsControlCharacter(suffix);
}

std::optional<std::string> freeBackupName(FileSystem& fs, const std::string& wanted) {
    if (!taken(fs, wanted)) {
        return wanted;
    }
    for (int n = 2; n <= kMaxBackupNumber; ++n) {
        std::string candidate = wanted + "_" + std::to_string(n);
        if (!taken(fs, candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

bool isDateSuffix(std::string_view text) {
    if (!text.starts_with('-')) {
        return false;
    }
    text.remove_prefix(1);
    for (int part = 0; part < 5; ++part) {
        const std::size_t dot = part < 4 ? text.find('.') : text.size();
        const std::string_view number = text.substr(0, std::min(dot, text.size()));
        // A year of four digits, the rest one or two, none with a leading zero: as dateSuffix writes them.
        if (dot == std::string_view::npos || !isDigits(number, part == 0 ? 4 : 2) ||
            (part == 0 && number.size() != 4) || (number.size() > 1 && number[0] == '0')) {
            return false;
        }
        text.remove_prefix(std::min(text.size(), dot + 1));
    }
    return true;
}

bool isBackupOf(std::string_view backup, std::string_view destination, std::string_view suffix) {
    if (!backup.starts_with(destination)) {
        return false;
    }
    std::string_view rest = backup.substr(destination.size());
    const auto withSuffix = [&](std::string_view candidate) {
        if (!rest.starts_with(candidate)) {
            return false;
        }
        const std::string_view number = rest.substr(candidate.size());
        if (number.empty()) {
            return true;
        }
        if (!number.starts_with('_') || !isDigits(number.substr(1), 3) || number[1] == '0') {
            return false;
        }
        const int n = std::stoi(std::string(number.substr(1)));
        return n >= 2 && n <= kMaxBackupNumber;
    };
    if (withSuffix(suffix)) {
        return true;
    }
    // The run may have switched to the date suffix after it began.
    for (std::size_t end = 1; end <= rest.size(); ++end) {
        if (isDateSuffix(rest.substr(0, end)) && withSuffix(rest.substr(0, end))) {
            return true;
        }
    }
    return false;
}

} // namespace hotfix
