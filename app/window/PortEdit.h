// The Port field: only digits and Backspace may be typed, and a keystroke that leaves
// the field empty, at 0 or above the maximum is undone with a beep.
#pragma once

#include <QLineEdit>
#include <functional>

namespace tarnhollow {

class PortEdit : public QLineEdit {
public:
    explicit PortEdit(QWidget* parent = nullptr);
    // What sounds for a refused or undone keystroke; the desktop's beep unless replaced.
    void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }
    unsigned LastValid() const { return lastValid_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    static constexpr unsigned kMaximum = 65535;
    // The number the field held when it was made (none: 0), then the last one typed
    // that was in range.
    unsigned lastValid_ = 0;
    std::function<void()> beep_;
};

}  // namespace tarnhollow
