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
        QTest::addColumn<QSize>("client");
        QTest::addColumn<int>("control");
        QTest::addColumn<QRect>("expected");
        // The font's base units grow with the density: 6 by 13 pixels at 96 dpi.
        const auto row = [](const char* name, int dpi, QSize client, Control control, QRect expected) {
            QTest::newRow(name) << dpi << client << static_cast<int>(control) << expected;
        };
        row("96: status box spans the width", 96, {240, 400}, Control::Status, {7, 26, 226, 34});
        row("96: Port field at the right", 96, {240, 400}, Control::Port, {168, 0, 65, 20});
        row("96: Port label stretched to it", 96, {240, 400}, Control::PortLabel, {7, 3, 154, 20});
        row("96: Enable at the left", 96, {240, 400}, Control::Enable, {7, 5, 55, 16});
        row("96: host name up to the dot", 96, {240, 400}, Control::Name, {7, 65, 117, 21});
        row("96: dot before the domain list", 96, {240, 400}, Control::Dot, {131, 65, 6, 13});
        row("96: domain list at the right", 96, {240, 400}, Control::Domain, {144, 65, 89, 21});
        row("96: user field to the margin", 96, {240, 400}, Control::User, {38, 91, 195, 23});
        row("96: password up to Register", 96, {240, 400}, Control::Pass, {38, 119, 133, 22});
        row("96: Register at the right", 96, {240, 400}, Control::Register, {178, 119, 55, 24});
        row("96: Stop below Register", 96, {240, 400}, Control::Stop, {177, 150, 56, 25});
        row("96: Save before Stop", 96, {240, 400}, Control::Save, {114, 150, 56, 25});
        row("96: QR code below the buttons", 96, {240, 400}, Control::Qr, {14, 182, 211, 211});
        row("192: status box spans the width", 192, {480, 800}, Control::Status, {14, 52, 452, 68});
        row("192: Port field at the right", 192, {480, 800}, Control::Port, {337, 0, 129, 39});
        row("192: Port label stretched to it", 192, {480, 800}, Control::PortLabel, {14, 7, 309, 39});
        row("192: Register at the right", 192, {480, 800}, Control::Register, {355, 237, 111, 49});
        row("192: Stop below Register", 192, {480, 800}, Control::Stop, {355, 300, 111, 48});
        row("192: Save before Stop", 192, {480, 800}, Control::Save, {230, 300, 111, 48});
        row("192: QR code below the buttons", 192, {480, 800}, Control::Qr, {28, 362, 424, 424});
    }
    void ControlsLandWhereTheStepsPutThem() {
        QFETCH(int, dpi);
        QFETCH(QSize, client);
        QFETCH(int, control);
        QFETCH(QRect, expected);
        ControlRects controls = TemplateRects({6 * dpi / 96, 13 * dpi / 96});
        LayoutControls(controls, client.width(), client.height(), LayoutMargin(dpi));
        QCOMPARE(controls[static_cast<Control>(control)], expected);
    }
};

static RegisterWindowTest<DialogLayoutTest> registered;

}  // namespace tarnhollow::test

#include "DialogLayoutTest.moc"
