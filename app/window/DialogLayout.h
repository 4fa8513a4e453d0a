// Where the main window's controls go: the dialog template in dialog units, its mapping
// to pixels through the font's base units, and LayoutControls for each new size.
#pragma once

#include <QRect>
#include <array>
#include <cstddef>

class QFontMetrics;

namespace tarnhollow {

// The controls that LayoutControls places, in the template's order; the QR code of the
// status line's address comes last, below the template's controls.
enum class Control {
    Enable,
    PortLabel,
    Port,
    Status,
    Name,
    Dot,
    Domain,
    UserLabel,
    User,
    PassLabel,
    Pass,
    Register,
    Save,
    Stop,
    Qr,
    Count
};

struct ControlRects {
    std::array<QRect, static_cast<size_t>(Control::Count)> rects;
    QRect& operator[](Control c) { return rects[static_cast<size_t>(c)]; }
    const QRect& operator[](Control c) const { return rects[static_cast<size_t>(c)]; }
};

// A dialog's base units in pixels: four horizontal and eight vertical dialog units make one each.
struct BaseUnits {
    int x = 0;
    int y = 0;
};

// As a dialog measures its font: the average width of the 52 letters, rounded, and the height.
BaseUnits BaseUnitsOf(const QFontMetrics& metrics);

// The template's controls in pixels, as they stand before the first layout.
ControlRects TemplateRects(BaseUnits units);

// The layout margin: 7 device-independent pixels at `dpi` dots per inch.
int LayoutMargin(int dpi);

// Places the controls for a client area `width` by `height` pixels: the template's
// seven steps, then the QR code as the largest square that fits below Save and Stop,
// centred, one margin from every edge and from the buttons.
void LayoutControls(ControlRects& controls, int width, int height, int margin);

// The client size a new window gets: the template's width and room for a QR code as
// wide as the status box.
QSize InitialClientSize(BaseUnits units, int margin);

}  // namespace tarnhollow
