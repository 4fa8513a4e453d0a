// The main window with a recording controller: the status box opening its URL, the
// controls that follow Enable, the port range check of Save; and with the real
// controller on a server thread of its own, Save and Stop reaching it.
#include "app/window/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <unistd.h>

#include <asio.hpp>
#include <atomic>
#include <thread>
#include <toml++/toml.h>

#include "app/MainDialog.h"
#include "app/window/DialogCommands.h"
#include "app/window/PortEdit.h"
#include "app/window/PostedCommands.h"
#include "app/window/WindowView.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"
#include "window/WindowTests.h"

namespace tarnhollow::test {

namespace {

class RecordingCommands : public DialogCommands {
public:
    void LoadAndStart() override { ++loadAndStart; }
    void Save(const DialogFields& fields) override { saved.push_back(fields); }
    void EnableClicked(const DialogFields& fields) override { enableClicked.push_back(fields); }
    void Register() override { ++registered; }
    void Stop() override { ++stopped; }
    int loadAndStart = 0, registered = 0, stopped = 0;
    std::vector<DialogFields> saved, enableClicked;
};

int64_t StoredPort() {
    try {
        return toml::parse_file(SettingsFile())["Port"].value<int64_t>().value_or(-1);
    } catch (const toml::parse_error&) {
        return -1;
    }
}

template <typename T>
T* Control(MainWindow& window, const char* name) {
    return window.findChild<T*>(QString::fromLatin1(name));
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void EnterAndDoubleClickOnTheStatusBoxOpenTheOpenUrl() {
        RecordingCommands commands;
        MainWindow window(commands, 96);
        QStringList opened;
        window.SetOpener([&](const QString& url) { opened.append(url); });
        window.show();
        QCOMPARE(commands.loadAndStart, 1);
        auto* status = Control<QPlainTextEdit>(window, "status");
        QTest::keyClick(status, Qt::Key_Return);
        QVERIFY(opened.isEmpty());  // no URL yet
        window.SetOpenUrl(QStringLiteral("http://127.0.0.1:8080/Blog/a.txt"));
        QTest::keyClick(status, Qt::Key_Return);
        QTest::mouseDClick(status->viewport(), Qt::LeftButton);
        QCOMPARE(opened, QStringList(2, QStringLiteral("http://127.0.0.1:8080/Blog/a.txt")));
        QVERIFY(commands.saved.empty());  // the box took Enter from the default button
    }

    void DependentControlsFollowEnable() {
        RecordingCommands commands;
        MainWindow window(commands, 96);
        window.show();
        window.ShowFields({.port = 8080, .enable = true, .domain = L"B.org"}, {L"c.org", L"b.org", L"A.org"});
        auto* enable = Control<QCheckBox>(window, "enable");
        auto* port = Control<PortEdit>(window, "port");
        auto* status = Control<QPlainTextEdit>(window, "status");
        auto* domain = Control<QComboBox>(window, "domain");
        QCOMPARE(domain->itemText(0), QStringLiteral("A.org"));
        QCOMPARE(domain->currentText(), QStringLiteral("b.org"));
        QVERIFY(port->isEnabled() && status->isEnabled());
        QTest::mouseClick(enable, Qt::LeftButton);
        QVERIFY(!port->isEnabled() && !status->isEnabled());
        QCOMPARE(commands.enableClicked.size(), size_t(1));
        QCOMPARE(commands.enableClicked.back().enable, false);
        QTest::mouseClick(enable, Qt::LeftButton);
        QVERIFY(port->isEnabled() && status->isEnabled());
        QCOMPARE(commands.enableClicked.back().enable, true);
    }

    void SaveWithAPortOutOfRangeSaysSoAndKeepsTheFields() {
        RecordingCommands commands;
        MainWindow window(commands, 96);
        window.show();
        window.ShowFields({.port = 8080, .enable = true, .name = L"home"}, {L"b.org"});
        Control<PortEdit>(window, "port")->setText(QStringLiteral("70000"));
        Control<QLineEdit>(window, "name")->setText(QStringLiteral("away"));
        QTest::mouseClick(Control<QPushButton>(window, "save"), Qt::LeftButton);
        QCOMPARE(commands.saved.size(), size_t(1));
        QCOMPARE(commands.saved.back().port, 8080u);
        QCOMPARE(commands.saved.back().name, std::wstring(L"home"));
        auto* box = window.findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Please enter an integer between 1 and 65535."));
    }

    void SaveAndStopReachTheController() {
        TempDir root, scratch;
        SetSettingsFile(scratch.Path() + "/settings.toml");
        asio::io_context io;
        auto work = asio::make_work_guard(io);
        std::unique_ptr<CMainDialog> dialog;
        std::atomic<bool> stopped{false};
        std::unique_ptr<WindowView> view;
        PostedCommands commands(
            io, [&] { return dialog.get(); },
            [&] {
                dialog = std::make_unique<CMainDialog>(io, *view, AnsiToWide(root.Path()));
                dialog->LoadAndStart(static_cast<uint32_t>(FreePort()));
            },
            [&] {
                dialog.reset();
                stopped = true;
            });
        MainWindow window(commands, 96);
        view = std::make_unique<WindowView>(window);
        std::thread server([&] { io.run(); });
        window.show();
        auto* port = Control<PortEdit>(window, "port");
        QTRY_VERIFY(!port->text().isEmpty());
        const int saved = FreePort();
        port->setText(QString::number(saved));
        QTest::mouseClick(Control<QPushButton>(window, "save"), Qt::LeftButton);
        QTRY_COMPARE(StoredPort(), int64_t(saved));
        const int connection = Connect(saved);
        QVERIFY(connection >= 0);
        ::close(connection);
        QTest::mouseClick(Control<QPushButton>(window, "stop"), Qt::LeftButton);
        QTRY_VERIFY(stopped);
        QCOMPARE(Connect(saved), -1);
        io.stop();
        server.join();
    }
};

static RegisterWindowTest<MainWindowTest> registered;

}  // namespace tarnhollow::test

#include "MainWindowTest.moc"
