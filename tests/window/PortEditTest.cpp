// The Port field's keystrokes: which are taken, which beep, and what the field then shows.
#include "app/window/PortEdit.h"

#include <QHash>
#include <QTest>

#include "window/WindowTests.h"

namespace tarnhollow::test {

class PortEditTest : public QObject {
    Q_OBJECT
private slots:
    void Keystrokes_data() {
        QTest::addColumn<QString>("keys");  // "\b" is Backspace, "\x01" Home and "\x7f" Delete
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("beeps");
        QTest::newRow("digits make a port") << "8080" << "8080" << 0;
        QTest::newRow("a letter beeps and changes nothing") << "8080a" << "8080" << 1;
        QTest::newRow("a space beeps") << "80 " << "80" << 1;
        QTest::newRow("a digit past 65535 brings back the last valid number") << "655359" << "65535" << 1;
        QTest::newRow("65535 itself is taken") << "65535" << "65535" << 0;
        QTest::newRow("Backspace is taken") << "808\b" << "80" << 0;
        QTest::newRow("Backspace that empties the field is undone") << "8\b" << "8" << 1;
        // The field was empty when it was made, so 0 is the last valid number at first.
        QTest::newRow("0 first is undone to the empty field's 0") << "0" << "0" << 1;
        QTest::newRow("keys that type nothing pass") << "8080\x01\x7f" << "080" << 0;
    }
    void Keystrokes() {
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QFETCH(int, beeps);
        PortEdit edit;
        int beeped = 0;
        edit.SetBeep([&] { ++beeped; });
        edit.show();
        const QHash<QChar, Qt::Key> named = {
            {u'\b', Qt::Key_Backspace}, {u'\x01', Qt::Key_Home}, {u'\x7f', Qt::Key_Delete}};
        for (const QChar key : keys) {
            if (named.contains(key)) {
                QTest::keyClick(&edit, named[key]);
            } else {
                QTest::keyClick(&edit, key.toLatin1());
            }
        }
        QCOMPARE(edit.text(), shown);
        QCOMPARE(beeped, beeps);
    }
};

static RegisterWindowTest<PortEditTest> registered;

}  // namespace tarnhollow::test

#include "PortEditTest.moc"
