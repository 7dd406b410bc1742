#pragma once

#include <deque>
#include <functional>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTimer>

namespace hotfix::test {

// Answers the real modal message boxes of the program: it looks for the active modal box, notes what it
// shows, and presses the next scripted button (the default button when the script has run out).
class BoxAnswerer final : public QObject {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        Qt::TextFormat format = Qt::AutoText;
        Qt::WindowModality modality = Qt::NonModal;
    };

    BoxAnswerer() {
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::look);
        m_timer.start(10);
    }

    void answerNext(QMessageBox::StandardButton button) { m_answers.push_back(button); }
    // Runs while the next box is open, before it is answered.
    void whileOpen(std::function<void(QMessageBox&)> action) { m_whileOpen = std::move(action); }

    std::vector<Seen> seen;

private:
    void look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) {
            return;
        }
        box->setProperty("answered", true);
        seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                        box->defaultButton() != nullptr ? box->standardButton(box->defaultButton())
                                                        : QMessageBox::NoButton,
                        box->textFormat(), box->windowModality()});
        QAbstractButton* press = box->defaultButton();
        if (!m_answers.empty()) {
            press = box->button(m_answers.front());
            m_answers.pop_front();
        }
        // Acted on after this look has returned, so that a box opened meanwhile is still looked for.
        QTimer::singleShot(0, box, [box, press, action = std::move(m_whileOpen)] {
            if (action) {
                action(*box);
            }
            if (press != nullptr) {
                press->click();
            }
        });
        m_whileOpen = nullptr;
    }

    QTimer m_timer;
    std::deque<QMessageBox::StandardButton> m_answers;
    std::function<void(QMessageBox&)> m_whileOpen;
};

} // namespace hotfix::test
