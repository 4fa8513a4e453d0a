// Headless Chromium for the black-box tests: loads one URL from the server under test
// with a fresh profile and returns the document tree it built and what it logged.
// Every host name but 127.0.0.1 resolves to nothing, so pages that link to outside
// services cause no traffic beyond the loopback address.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace tarnhollow::test {

inline constexpr char kChromium[] = "/usr/bin/chromium";

struct BrowserRun {
    bool finished = false;  // Chromium ended by itself, with status 0, within its time
    std::string dom;        // the document tree as HTML text
    std::string log;        // console messages and uncaught script errors among the rest
};

// `virtualTimeMilliseconds` is how long scripts, timers and navigations may run in the
// page's own clock before the tree is taken; loading over the network does not use it.
inline BrowserRun RunChromium(const std::string& url, int virtualTimeMilliseconds) {
    TempDir profile;
    const std::string domFile = profile.Path() + "/dom.html";
    const std::string logFile = profile.Path() + "/log.txt";
    std::vector<std::string> args = {kChromium,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
                                     "--enable-logging=stderr",
                                     "--v=0",
                                     "--virtual-time-budget=" + std::to_string(virtualTimeMilliseconds),
                                     "--user-data-dir=" + profile.Path() + "/data",
                                     "--dump-dom",
                                     url};
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Its own process group, so that the browser's helpers end with it.
        ::setpgid(0, 0);
        const int dom = ::open(domFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(dom, 1);
        ::dup2(log, 2);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    BrowserRun run;
    if (pid < 0) return run;
    ::setpgid(pid, pid);
    int status = 0;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(-pid, SIGKILL);
    if (!ended) ::waitpid(pid, &status, 0);
    run.finished = ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.dom = profile.Read("dom.html");
    run.log = profile.Read("log.txt");
    return run;
}

}  // namespace tarnhollow::test
