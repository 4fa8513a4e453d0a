// Qt's application, the main window and its tray, and the choice of a window at all.
#include "app/window/WindowApplication.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QMetaObject>
#include <cstdlib>
#include <string>

#include "app/window/MainWindow.h"
#include "app/window/PostedCommands.h"
#include "app/window/WindowView.h"
#include "platform/XDisplayConnection.h"

namespace tarnhollow {

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

struct WindowApplication::Parts {
    Parts(int& argc, char** argv, asio::io_context& io, std::function<CMainDialog*()> dialog,
          std::function<void()> loadAndStart, std::function<void()> stop)
        : application(argc, argv),
          commands(io, std::move(dialog), std::move(loadAndStart), std::move(stop)),
          window(commands),
          view(window) {}
    QApplication application;
    PostedCommands commands;
    MainWindow window;
    WindowView view;
};

bool WindowApplication::Available() {
    // A platform of Qt's own named by the user (offscreen, vnc) needs no display; the
    // desktop's platforms, often named in every session, still need theirs.
    if (Set("QT_QPA_PLATFORM")) {
        const std::string platform = std::getenv("QT_QPA_PLATFORM");
        if (platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0) return true;
    }
    if (Set("DISPLAY")) {
        XDisplayConnection display;
        if (display.Get()) return true;
    }
    if (!Set("WAYLAND_DISPLAY")) return false;
    // Qt's Wayland platform is a package of its own; without it Qt could not start.
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("*wayland*")}, QDir::Files).isEmpty();
}

WindowApplication::WindowApplication(int& argc, char** argv, asio::io_context& io,
                                     std::function<CMainDialog*()> dialog, std::function<void()> loadAndStart,
                                     std::function<void()> stop)
    : parts_(std::make_unique<Parts>(argc, argv, io, std::move(dialog), std::move(loadAndStart), std::move(stop))) {
    // Closing the window only hides it; the program ends by Stop or a signal.
    QApplication::setQuitOnLastWindowClosed(false);
}

WindowApplication::~WindowApplication() = default;

View& WindowApplication::ControllerView() { return parts_->view; }

void WindowApplication::Run() {
    parts_->window.show();
    QApplication::exec();
}

void WindowApplication::Quit() {
    // exit, not quit: quit would first ask the window to close, which only minimises it.
    QMetaObject::invokeMethod(&parts_->application, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

}  // namespace tarnhollow
