#pragma once

#include <QString>
#include <QWidget>

namespace hotfix {

// A frame: an etched rectangle with its caption in the top edge, holding other controls.
class Frame final : public QWidget {
public:
    Frame(QString title, QWidget* parent);

    QString title() const { return m_title; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
};

} // namespace hotfix
