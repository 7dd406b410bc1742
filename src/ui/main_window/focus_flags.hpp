#pragma once

namespace hotfix {

// Which of the two root text boxes had the keyboard focus last: the folder picker edits that root. At most
// one is true; both are false from start-up until one of the boxes first gets the focus.
inline bool TxtPathHadFocus = false;
inline bool TxtWinPathHadFocus = false;

} // namespace hotfix
