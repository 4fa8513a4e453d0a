// LayoutControls at 96 and 192 dots per inch: the margin and where the steps put the
// controls that each step moves last.
#include "app/window/DialogLayout.h"

#include <QTest>

#include "window/WindowTests.h"

namespace tarnhollow::test {

class DialogLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void MarginIsSevenDeviceIndependentPixels() {
        QCOMPARE(LayoutMargin(96), 7);
        QCOMPARE(LayoutMargin(120), 9);
        QCOMPARE(LayoutMargin(192), 14);
    }

    void ControlsLandWhereTheStepsPutThem_data() {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("control");
        QTest::addColumn<QRect>("expected");
        // Where `control` lands at 96 dpi and, if given, at 192 dpi.
        const auto row = [](const char* name, Control control, QRect at96, QRect at192 = {}) {
            QTest::addRow("96: %s", name) << 96 << static_cast<int>(control) << at96;
            if (!at192.isNull()) QTest::addRow("192: %s", name) << 192 << static_cast<int>(control) << at192;
        };
        row("status box spans the width", Control::Status, {7, 26, 226, 34}, {14, 52, 452, 68});
        row("Port field at the right", Control::Port, {168, 0, 65, 20}, {337, 0, 129, 39});
        row("Port label stretched to it", Control::PortLabel, {7, 3, 154, 20}, {14, 7, 309, 39});
        row("Enable at the left", Control::Enable, {7, 5, 55, 16});
        row("host name up to the dot", Control::Name, {7, 65, 117, 21});
        row("dot before the domain list", Control::Dot, {131, 65, 6, 13});
        row("domain list at the right", Control::Domain, {144, 65, 89, 21});
        row("user field to the margin", Control::User, {38, 91, 195, 23});
        row("password up to Register", Control::Pass, {38, 119, 133, 22});
        row("Register at the right", Control::Register, {178, 119, 55, 24}, {355, 237, 111, 49});
        row("Stop below Register", Control::Stop, {177, 150, 56, 25}, {355, 300, 111, 48});
        row("Save before Stop", Control::Save, {114, 150, 56, 25}, {230, 300, 111, 48});
        row("QR code below the buttons", Control::Qr, {14, 182, 211, 211}, {28, 362, 424, 424});
    }
    void ControlsLandWhereTheStepsPutThem() {
        QFETCH(int, dpi);
        QFETCH(int, control);
        QFETCH(QRect, expected);
        // The font's base units grow with the density: 6 by 13 pixels at 96 dpi, in a
        // client area of 240 by 400 pixels.
        ControlRects controls = TemplateRects({6 * dpi / 96, 13 * dpi / 96});
        LayoutControls(controls, 240 * dpi / 96, 400 * dpi / 96, LayoutMargin(dpi));
        QCOMPARE(controls[static_cast<Control>(control)], expected);
    }
};

static RegisterWindowTest<DialogLayoutTest> registered;

}  // namespace tarnhollow::test

#include "DialogLayoutTest.moc"
