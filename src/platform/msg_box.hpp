#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hotfix {

enum class MsgButtons { Ok, OkCancel, YesNo, AbortRetryIgnore };
enum class MsgIcon { None, Critical, Information };
enum class MsgResult { Ok, Cancel, Yes, No, Abort, Retry, Ignore };

// The title a box shows when its caller gives none: the application's title.
inline constexpr std::string_view kDefaultMsgTitle = "Patch";

struct MsgBoxRequest {
    std::string prompt;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    std::optional<std::string> title;

    std::string shownTitle() const { return title ? *title : std::string(kDefaultMsgTitle); }
    // OK, Yes for a Yes-and-No box, Retry for an Abort-Retry-Ignore box.
    MsgResult defaultButton() const {
        switch (buttons) {
        case MsgButtons::YesNo:
            return MsgResult::Yes;
        case MsgButtons::AbortRetryIgnore:
            return MsgResult::Retry;
        case MsgButtons::Ok:
        case MsgButtons::OkCancel:
            break;
        }
        return MsgResult::Ok;
    }
    friend bool operator==(const MsgBoxRequest&, const MsgBoxRequest&) = default;
};

// Every report to the user goes through one modal message box; it returns the button pressed.
class MsgBox {
public:
    virtual ~MsgBox() = default;
    virtual MsgResult show(const MsgBoxRequest& request) = 0;
};

} // namespace hotfix
