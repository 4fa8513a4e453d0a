// The status line's box: read-only text that opens its URL on Enter or a double-click.
#pragma once

#include <QPlainTextEdit>
#include <functional>

namespace tarnhollow {

class StatusBox : public QPlainTextEdit {
public:
    explicit StatusBox(QWidget* parent = nullptr);
    // Runs on Enter (which the box consumes) and on a double-click, as a click of the
    // box would be reported to the dialog.
    void OnActivated(std::function<void()> activated) { activated_ = std::move(activated); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::function<void()> activated_;
};

}  // namespace tarnhollow
