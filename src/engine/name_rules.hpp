#pragma once

#include <string_view>

namespace hotfix {

// What a list entry, a root and a backup suffix may hold. The installer runs with the machine's rights, and
// the lists and the install record are files someone else may have written: the list reader, the checks,
// the command line and the record reader ask these same questions, so that none lets through what another
// refuses.

// A byte from 0x00 to 0x1F, or DEL: no Windows file name holds one, and a NUL cuts every path built from it.
bool holdsControlCharacter(std::string_view text);

// Whether a part of the path between separators ("\" or "/"), blank-trimmed, is "..".
bool leadsUpward(std::string_view path);

// A list entry's name or folder: folders are separated by "\" alone ("/" separates them on Windows too, and
// would hide a ".." from the list's own rule), no ".." and no control character.
bool isEntryPart(std::string_view text);

// A root the installer may join entries to: drive-absolute ("X:\" or "X:/") or beginning with a separator
// (a network share, or a POSIX path), with no "." or ".." part and no control character. "X:foo" follows
// the drive's current folder, and "foo\bar" the program's: neither says where the files go.
bool isAbsoluteRoot(std::string_view root);

// The rules of backup names are in engine/backup_name.hpp.

} // namespace hotfix
