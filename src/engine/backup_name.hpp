#pragma once

#include "platform/file_system.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace hotfix {

// Every rule of a backup's name, in one place: the checks, the command line and the install decide names by
// them, and the record's reader accepts by them exactly the names the install could have made.
//   <destination><suffix>       the install's suffix ("_backup", "_" and --suffix's text), or a date suffix
//   <destination><suffix>_<N>   where that name is taken, N from 2 to kMaxBackupNumber

// The characters no backup name can hold; ":" would hide the backup in a stream.
inline constexpr std::string_view kBadSuffixCharacters = "\\/:*?\"<>|";

// Enough for any real history of hot fixes; past it the names are surely not free for a reason the search
// cannot cure.
inline constexpr int kMaxBackupNumber = 999;

// A backup suffix: not empty, nor dots and blanks alone (Windows drops those from the end of a name): the
// backup would be the file itself. No character of kBadSuffixCharacters and no control character.
bool isBackupSuffix(std::string_view suffix);

// A date suffix as the date box makes it (see dateSuffix): -year.month.day.hour.minute without leading zeros.
bool isDateSuffix(std::string_view text);

// The first of wanted, wanted_2 … wanted_999 that names nothing (no file, no folder): the backup never
// overwrites anything. Nothing where every one is taken.
std::optional<std::string> freeBackupName(FileSystem& fs, const std::string& wanted);

// Whether backup is a name the install could have given the destination's backup with this suffix: the
// suffix, or a date suffix (the run may have switched to it after it began), with "_N" where that was taken.
bool isBackupOf(std::string_view backup, std::string_view destination, std::string_view suffix);

} // namespace hotfix
