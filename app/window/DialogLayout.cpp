// The dialog template's mapping to pixels and LayoutControls.
#include "app/window/DialogLayout.h"

#include <QFontMetrics>
#include <algorithm>

namespace tarnhollow {

namespace {

// Right and bottom edges as the dialog computes them: one past the last pixel.
int Right(const QRect& r) { return r.x() + r.width(); }
int Bottom(const QRect& r) { return r.y() + r.height(); }
void MoveRightTo(QRect& r, int right) { r.moveLeft(right - r.width()); }
void SetLeftRight(QRect& r, int left, int right) { r.setRect(left, r.y(), std::max(0, right - left), r.height()); }

// Dialog units to pixels, rounded to nearest as the dialog does.
int MapX(int units, BaseUnits base) { return (units * base.x + 2) / 4; }
int MapY(int units, BaseUnits base) { return (units * base.y + 4) / 8; }

}  // namespace

BaseUnits BaseUnitsOf(const QFontMetrics& metrics) {
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

ControlRects TemplateRects(BaseUnits units) {
    struct Row {
        Control control;
        int x, y, w, h;
    };
    // Template 112. The domain list's 62 units are its dropped-down height; closed it is
    // as high as the host-name field beside it.
    static constexpr Row kTemplate[] = {
        {Control::Enable, 3, 3, 37, 10},     {Control::PortLabel, 73, 2, 17, 12}, {Control::Port, 94, 0, 43, 12},
        {Control::Status, 4, 16, 133, 21},   {Control::Name, 4, 40, 64, 13},      {Control::Dot, 71, 41, 4, 8},
        {Control::Domain, 78, 40, 59, 13},   {Control::UserLabel, 6, 57, 16, 8},  {Control::User, 26, 56, 111, 14},
        {Control::PassLabel, 6, 75, 16, 8},  {Control::Pass, 27, 73, 70, 14},     {Control::Register, 101, 73, 37, 15},
        {Control::Save, 4, 106, 37, 15},     {Control::Stop, 48, 106, 37, 15},
    };
    ControlRects controls;
    for (const Row& row : kTemplate) {
        const int left = MapX(row.x, units), top = MapY(row.y, units);
        controls[row.control] = QRect(left, top, MapX(row.x + row.w, units) - left, MapY(row.y + row.h, units) - top);
    }
    return controls;
}

int LayoutMargin(int dpi) { return (dpi * 7 + 48) / 96; }

void LayoutControls(ControlRects& c, int width, int height, int margin) {
    const int m = margin;
    QRect& status = c[Control::Status];
    // 1. The status box spans the width.
    SetLeftRight(status, m, width - m);
    // 2. Enable at its left edge, Port at its right.
    c[Control::Enable].moveLeft(status.x());
    MoveRightTo(c[Control::Port], Right(status));
    // 3. The "Port" label up to the Port field, which follows it.
    SetLeftRight(c[Control::PortLabel], m, c[Control::Port].x() - m);
    c[Control::Port].moveLeft(Right(c[Control::PortLabel]) + m);
    // 4. Domain list at the right, "." before it, the host name up to the ".".
    MoveRightTo(c[Control::Domain], Right(status));
    MoveRightTo(c[Control::Dot], c[Control::Domain].x() - m);
    c[Control::Dot].moveTop(c[Control::Domain].y());
    SetLeftRight(c[Control::Name], m, c[Control::Dot].x() - m);
    // 5. The user name field after its label, to the right margin.
    c[Control::UserLabel].moveLeft(status.x());
    SetLeftRight(c[Control::User], 2 * m + c[Control::UserLabel].width(), width - m);
    // 6. Register at the right, the password field after its label up to Register.
    MoveRightTo(c[Control::Register], Right(status));
    SetLeftRight(c[Control::Pass], 2 * m + c[Control::PassLabel].width(), c[Control::Register].x() - m);
    // 7. Stop under Register at the right, Save before it.
    QRect& stop = c[Control::Stop];
    stop.moveTop(Bottom(c[Control::Register]) + m);
    MoveRightTo(stop, Right(status));
    MoveRightTo(c[Control::Save], stop.x() - m);
    c[Control::Save].moveTop(stop.y());
    // The QR code below the buttons.
    const int top = Bottom(stop) + m;
    const int side = std::max(0, std::min(width - 2 * m, height - top - m));
    c[Control::Qr] = QRect((width - side) / 2, top, side, side);
}

QSize InitialClientSize(BaseUnits units, int margin) {
    ControlRects controls = TemplateRects(units);
    const int width = Right(controls[Control::Register]) + MapX(3, units);
    LayoutControls(controls, width, 0, margin);
    return {width, Bottom(controls[Control::Stop]) + 2 * margin + width - 2 * margin};
}

}  // namespace tarnhollow
