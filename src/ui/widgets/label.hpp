#pragma once

#include <QRect>
#include <QString>

class QLabel;
class QWidget;

namespace hotfix {

// A label as the forms have them: its caption at the top left of its box, always as plain text (a
// caption that begins with a tag is not markup).
QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry);

} // namespace hotfix
