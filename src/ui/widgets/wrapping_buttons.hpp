#pragma once

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

namespace hotfix {

// Buttons whose caption breaks into more lines when one line does not fit, as the installer's captions
// always did. text() stays the caption as set: no line breaks are put into it. A check box's or an option
// button's indicator is never higher than the control.
class WrappingPushButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class WrappingCheckBox final : public QCheckBox {
public:
    WrappingCheckBox(const QString& text, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    // The whole control answers a click, whichever line of its caption is hit.
    bool hitButton(const QPoint& pos) const override;
};

class WrappingRadioButton final : public QRadioButton {
public:
    WrappingRadioButton(const QString& text, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

// Whether the button's caption is drawn whole in its face and size: on one line, or broken into lines that
// fit the control; not cut.
bool captionWhole(const QAbstractButton& button);

} // namespace hotfix
