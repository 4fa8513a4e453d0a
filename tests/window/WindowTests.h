// The window's Qt Test classes, gathered into one binary: each file registers its class,
// and main runs them all under one QApplication.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace tarnhollow::test {

using WindowTestFactory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<WindowTestFactory>& WindowTestClasses() {
    static std::vector<WindowTestFactory> classes;
    return classes;
}

template <typename T>
struct RegisterWindowTest {
    RegisterWindowTest() {
        WindowTestClasses().push_back([] { return std::make_unique<T>(); });
    }
};

}  // namespace tarnhollow::test
