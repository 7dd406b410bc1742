// The main window's controls: one row per control, in tab order. The rows make the controls, set the tab
// order and name the controls that the pointer highlights; nothing else lists the controls.

#include "engine/messages.hpp"
#include "ui/main_window/frm_install_patch.hpp"
#include "ui/widgets/frame.hpp"
#include "ui/widgets/label.hpp"
#include "ui/widgets/list_box.hpp"
#include "ui/widgets/program_font.hpp"
#include "ui/widgets/twips.hpp"
#include "ui/widgets/wrapping_buttons.hpp"

#include <algorithm>
#include <limits>
#include <string_view>
#include <variant>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

namespace hotfix {

namespace {

using Form = FrmInstallPatch;

// A WrapButton is a command button whose caption breaks into lines; an Option is an option button.
enum class Kind { TextBox, Button, WrapButton, CheckBox, Option, Label, Frame, ListBox };

template <typename Widget>
using MemberOf = Widget* Form::*;

// The member of the window that keeps the control.
using Member = std::variant<MemberOf<QLineEdit>, MemberOf<QPushButton>, MemberOf<QCheckBox>,
                            MemberOf<QRadioButton>, MemberOf<QLabel>, MemberOf<Frame>, MemberOf<ListBox>>;

struct Control {
    const char* name;
    Member member;
    // Highlights the control under the pointer; nullptr for a control that the pointer leaves as it is.
    void (Form::*onMouseMove)();
    Kind kind;
    const char* caption;
    // The frame that holds the control.
    MemberOf<Frame> container;
    TwipsPlace place;
    // For a control without a caption (a text box, a list box), the row whose caption names it to a screen
    // reader: its label, or the frame that holds it.
    const char* namedBy = nullptr;
};

constexpr MemberOf<Frame> kOnWindow = nullptr;

// Labels and frames take no focus, so their place among the rows changes no tab order; a frame stands
// before the controls it holds, and a later row lies over an earlier one.
// clang-format off
constexpr Control kControls[] = {
    // name, member, hover handler (nullptr: none)
    // kind            caption                                   container          left   top   width  height
    // the label or frame that names a text box or a list box
    {"TxtPath", &Form::TxtPath, &Form::TxtPath_MouseMove,
     Kind::TextBox,    "C:\\",                                   kOnWindow,         {1440, 120,  4575, 285},
     "lblVtrlPath"},
    {"cmdBrowse", &Form::cmdBrowse, nullptr,
     Kind::Button,     "&Browse",                                kOnWindow,         {6120, 240,  795,  390}},
    {"TxtWinPath", &Form::TxtWinPath, &Form::TxtWinPath_MouseMove,
     Kind::TextBox,    "C:\\",                                   kOnWindow,         {1440, 480,  4575, 285},
     "Label1"},
    {"Frame1", &Form::Frame1, nullptr,
     Kind::Frame,      "Suffix  Old Files with",                 kOnWindow,         {120,  840,  4575, 1095}},
    {"txtAppendToFile", &Form::txtAppendToFile, &Form::txtAppendToFile_MouseMove,
     Kind::TextBox,    "backup",                                 &Form::Frame1,     {1320, 360,  3135, 285},
     "lblAppendToFile"},
    {"ChkAppedToFile", &Form::ChkAppedToFile, &Form::ChkAppedToFile_MouseMove,
     Kind::CheckBox,   messages::kAppendDateCaption,             &Form::Frame1,     {1320, 720,  3015, 195}},
    {"chkRegisterDlls", &Form::chkRegisterDlls, &Form::chkRegisterDlls_MouseMove,
     Kind::CheckBox,   "Register Dll's automatically",           kOnWindow,         {4800, 960,  2175, 255}},
    {"chkShowAfterReg", &Form::chkShowAfterReg, &Form::chkShowAfterReg_MouseMove,
     Kind::CheckBox,   "Show Message after registering Dll",     kOnWindow,         {4800, 1215, 1935, 480}},
    {"chkCloseAfterInstallation", &Form::chkCloseAfterInstallation,
     &Form::chkCloseAfterInstallation_MouseMove,
     Kind::CheckBox,   "Close Installer After Installation",     kOnWindow,         {4800, 1920, 2415, 360}},
    {"OptVantrel", &Form::OptVantrel, &Form::OptVantrel_MouseMove,
     Kind::Option,     "Show New Vantrel Files",                 kOnWindow,         {4800, 2640, 2175, 195}},
    {"OptWindows", &Form::OptWindows, &Form::OptWindows_MouseMove,
     Kind::Option,     "Show New Windows Files",                 kOnWindow,         {4800, 2880, 2175, 195}},
    {"chkReadMe", &Form::chkReadMe, &Form::chkReadMe_MouseMove,
     Kind::CheckBox,   "&Show Read Me File",                     kOnWindow,         {4800, 3360, 2055, 480}},
    {"cmdInstallPatch", &Form::cmdInstallPatch, nullptr,
     Kind::WrapButton, "&Install Patch",                         kOnWindow,         {5160, 3840, 1215, 975}},
    {"cmdCancel", &Form::cmdCancel, nullptr,
     Kind::Button,     "&Close",                                 kOnWindow,         {5880, 4920, 975,  375}},
    {"lblVtrlPath", &Form::lblVtrlPath, nullptr,
     Kind::Label,      "Vantrel Path",                           kOnWindow,         {120,  120,  1200, 240}},
    {"lblAppendToFile", &Form::lblAppendToFile, nullptr,
     Kind::Label,      "Suffix Old Files",                       &Form::Frame1,     {120,  360,  1260, 195}},
    {"FrmVantrel", &Form::FrmVantrel, nullptr,
     Kind::Frame,      "These Vantrel Files Will be Copied to ", kOnWindow,         {120,  2040, 4575, 3255}},
    {"LstInstFileName", &Form::LstInstFileName, nullptr,
     Kind::ListBox,    "",                                       &Form::FrmVantrel, {120,  240,  1815, 2955},
     "FrmVantrel"},
    {"LstInstFilePath", &Form::LstInstFilePath, nullptr,
     Kind::ListBox,    "",                                       &Form::FrmVantrel, {1920, 240,  2535, 2955},
     "FrmVantrel"},
    {"Label1", &Form::Label1, nullptr,
     Kind::Label,      "Windows Path",                           kOnWindow,         {120,  480,  1275, 240}},
    {"FrmWindows", &Form::FrmWindows, nullptr,
     Kind::Frame,      "These Windows Files Will be Copied to ", kOnWindow,         {120,  2040, 4575, 3255}},
    {"LstWinInstFilePath", &Form::LstWinInstFilePath, nullptr,
     Kind::ListBox,    "",                                       &Form::FrmWindows, {1920, 240,  2535, 2955},
     "FrmWindows"},
    {"LstWinInstFileName", &Form::LstWinInstFileName, nullptr,
     Kind::ListBox,    "",                                       &Form::FrmWindows, {120,  240,  1815, 2955},
     "FrmWindows"},
    {"cmdAbout", &Form::cmdAbout, nullptr,
     Kind::Button,     "&About",                                 kOnWindow,         {4800, 4920, 975,  375}},
};
// clang-format on

// Whether the row's member can keep a control of the row's kind.
constexpr bool kindFitsMember(const Control& row) {
    switch (row.kind) {
    case Kind::TextBox:
        return std::holds_alternative<MemberOf<QLineEdit>>(row.member);
    case Kind::Button:
    case Kind::WrapButton:
        return std::holds_alternative<MemberOf<QPushButton>>(row.member);
    case Kind::CheckBox:
        return std::holds_alternative<MemberOf<QCheckBox>>(row.member);
    case Kind::Option:
        return std::holds_alternative<MemberOf<QRadioButton>>(row.member);
    case Kind::Label:
        return std::holds_alternative<MemberOf<QLabel>>(row.member);
    case Kind::Frame:
        return std::holds_alternative<MemberOf<Frame>>(row.member);
    case Kind::ListBox:
        break;
    }
    return std::holds_alternative<MemberOf<ListBox>>(row.member);
}

constexpr bool containersComeFirst() {
    const auto* const end = std::end(kControls);
    for (const auto* row = std::begin(kControls); row != end; ++row) {
        const bool placed = row->container == kOnWindow ||
                            std::any_of(std::begin(kControls), row, [row](const Control& earlier) {
                                const auto* frame = std::get_if<MemberOf<Frame>>(&earlier.member);
                                return frame != nullptr && *frame == row->container;
                            });
        if (!placed) {
            return false;
        }
    }
    return true;
}

// A control with a caption is named by it; a text box or a list box, by a label's or a frame's caption.
constexpr bool namedByACaption(const Control& row) {
    if (row.kind != Kind::TextBox && row.kind != Kind::ListBox) {
        return row.namedBy == nullptr && row.caption[0] != '\0';
    }
    return row.namedBy != nullptr && std::ranges::any_of(kControls, [&row](const Control& other) {
               return std::string_view(other.name) == row.namedBy && other.caption[0] != '\0' &&
                      (other.kind == Kind::Label || other.kind == Kind::Frame);
           });
}

static_assert(std::ranges::all_of(kControls, kindFitsMember),
              "a control's kind must fit the member that keeps it");
static_assert(containersComeFirst(), "a frame must be made before the controls it holds");
static_assert(std::ranges::all_of(kControls, namedByACaption),
              "a text box or a list box must be named by a label's or a frame's caption");

bool takesFocus(Kind kind) {
    return kind != Kind::Label && kind != Kind::Frame;
}

// A caption as a screen reader says it: without the '&' that marks the access key or the blanks around it.
QString spokenCaption(const char* caption) {
    return QString::fromUtf8(caption).remove(QLatin1Char('&')).trimmed();
}

// The name a screen reader announces where the toolkit finds none in the control's own text: a frame's
// caption, and for a text box or a list box the caption of the label or frame that names it.
QString accessibleNameOf(const Control& row) {
    if (row.kind == Kind::Frame) {
        return spokenCaption(row.caption);
    }
    const auto* const named = std::ranges::find_if(kControls, [&row](const Control& other) {
        return row.namedBy != nullptr && std::string_view(other.name) == row.namedBy;
    });
    return named != std::end(kControls) ? spokenCaption(named->caption) : QString();
}

// The kinds are checked against the members above: the control is of the member's type.
template <typename Widget>
void keep(Form& form, MemberOf<Widget> member, QWidget* control) {
    form.*member = static_cast<Widget*>(control);
}

template <typename Widget>
Widget* placed(Widget* widget, const Control& row) {
    widget->setObjectName(QString::fromLatin1(row.name));
    widget->setGeometry(twipsRect(row.place));
    return widget;
}

QWidget* makeControl(const Control& row, QWidget* parent) {
    const QString caption = QString::fromUtf8(row.caption);
    switch (row.kind) {
    case Kind::TextBox: {
        auto* box = placed(new QLineEdit(caption, parent), row);
        box->setMaxLength(std::numeric_limits<int>::max());
        return box;
    }
    case Kind::Button:
        return placed(new QPushButton(caption, parent), row);
    case Kind::WrapButton:
        return placed(new WrappingPushButton(caption, parent), row);
    case Kind::CheckBox:
        return placed(new WrappingCheckBox(caption, parent), row);
    case Kind::Option:
        return placed(new WrappingRadioButton(caption, parent), row);
    case Kind::Label:
        return makeLabel(parent, row.name, caption, twipsRect(row.place));
    case Kind::Frame:
        return placed(new Frame(caption, parent), row);
    case Kind::ListBox:
        break;
    }
    return placed(new ListBox(parent), row);
}

// The window's faces at the given scale: most controls take the window's, a few have a larger one.
void applyFonts(Form& form, qreal scale) {
    form.setFont(programFontAt(kBaseFontPointSize, scale));
    form.cmdInstallPatch->setFont(programFontAt(12.0, scale));
    for (QWidget* control : std::initializer_list<QWidget*>{form.chkReadMe, form.Label1, form.lblVtrlPath}) {
        control->setFont(programFontAt(9.75, scale));
    }
}

// Whether every caption is drawn whole at the fonts the controls have now. A label is one line; a frame's
// caption starts 8 pixels in.
bool captionsWhole(const Form& form) {
    constexpr int kFrameCaptionIndent = 8;
    return std::ranges::all_of(kControls, [&form](const Control& row) {
        if (row.caption[0] == '\0' || row.kind == Kind::TextBox) {
            return true;
        }
        const QWidget* control = nullptr;
        std::visit([&form, &control](auto member) { control = form.*member; }, row.member);
        if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
            return captionWhole(*button);
        }
        const int indent = row.kind == Kind::Frame ? kFrameCaptionIndent : 0;
        return indent + control->fontMetrics().horizontalAdvance(QString::fromUtf8(row.caption)) <=
               control->width();
    });
}

} // namespace

void FrmInstallPatch::createControls() {
    setFixedSize(twipsRect(0, 0, 6975, 5400).size());

    QWidget* previousStop = nullptr;
    for (const Control& row : kControls) {
        QWidget* const parent =
            row.container == kOnWindow ? this : static_cast<QWidget*>(this->*row.container);
        QWidget* const control = makeControl(row, parent);
        if (const QString name = accessibleNameOf(row); !name.isEmpty()) {
            control->setAccessibleName(name);
        }
        std::visit([this, control](auto member) { keep(*this, member, control); }, row.member);
        if (takesFocus(row.kind)) {
            if (previousStop != nullptr) {
                setTabOrder(previousStop, control);
            }
            previousStop = control;
        }
        if (row.onMouseMove != nullptr) {
            m_hoverTargets.push_back({control, row.onMouseMove});
        }
    }

    // A face that stands in for the installer's may be wider: the whole program is drawn a little smaller
    // then, rather than cut its captions or move its controls.
    fitProgramFont([this](qreal scale) {
        applyFonts(*this, scale);
        return captionsWhole(*this);
    });
    applyFonts(*this, programFontScale());
    TxtPath->setToolTip(
        QStringLiteral("If the path displayed is not correct, please provide the correct Vantrel Root Path"));
    TxtWinPath->setToolTip(
        QStringLiteral("If the path displayed is not correct, please provide the correct Windows Root Path"));
    txtAppendToFile->setToolTip(QStringLiteral("Provide text which will be used as suffix to old files"));

    chkCloseAfterInstallation->setChecked(true);
    OptVantrel->setChecked(true);
    FrmWindows->setVisible(false);
    cmdInstallPatch->setDefault(true);
    updateOptionTabStops();
}

} // namespace hotfix
