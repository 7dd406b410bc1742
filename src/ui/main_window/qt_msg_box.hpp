#pragma once

#include "platform/msg_box.hpp"

#include <QPointer>
#include <QWidget>

namespace hotfix {

// The one message box of the program: a real modal box over all its windows. Tests put their own MsgBox
// in its place.
class QtMsgBox final : public MsgBox {
public:
    // The box stands over owner while owner is on screen, or over a dialog open modally over owner.
    explicit QtMsgBox(QWidget* owner = nullptr)
        : m_owner(owner) {}
    void setOwner(QWidget* owner) { m_owner = owner; }

    MsgResult show(const MsgBoxRequest& request) override;

private:
    QPointer<QWidget> m_owner;
};

} // namespace hotfix
