// The Port field's keystroke rules.
#include "app/window/PortEdit.h"

#include <QApplication>
#include <QKeyEvent>

namespace tarnhollow {

PortEdit::PortEdit(QWidget* parent) : QLineEdit(parent), beep_([] { QApplication::beep(); }) {
    bool number = false;
    const unsigned value = text().toUInt(&number);
    lastValid_ = number ? value : 0;
}

void PortEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool character = !typed.isEmpty() && event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter &&
                           event->key() != Qt::Key_Escape && event->key() != Qt::Key_Tab &&
                           event->key() != Qt::Key_Backtab;
    // Keys that type nothing (arrows, Delete, Home) and the dialog's own keys pass.
    if (!character) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const bool backspace = event->key() == Qt::Key_Backspace;
    const bool digit = typed.size() == 1 && typed[0] >= QLatin1Char('0') && typed[0] <= QLatin1Char('9');
    if (!backspace && !digit) {
        beep_();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
    bool number = false;
    const unsigned value = text().toUInt(&number);
    if (number && value > 0 && value <= kMaximum) {
        lastValid_ = value;
    } else {
        beep_();
        setText(QString::number(lastValid_));
    }
}

}  // namespace tarnhollow
