// The status box's Enter and double-click.
#include "app/window/StatusBox.h"

#include <QKeyEvent>

namespace tarnhollow {

StatusBox::StatusBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void StatusBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (activated_) activated_();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void StatusBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (activated_) activated_();
    QPlainTextEdit::mouseDoubleClickEvent(event);
}

}  // namespace tarnhollow
