// Runs every registered Qt Test class of the window; the exit status counts the failures.
#include <QApplication>
#include <QTest>

#include "window/WindowTests.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    int failures = 0;
    for (const auto& make : tarnhollow::test::WindowTestClasses()) {
        const std::unique_ptr<QObject> tests = make();
        failures += QTest::qExec(tests.get(), argc, argv);
    }
    return failures;
}
