// The data-connection monitor: requests a connection to the Internet from the connection
// manager and watches it on a worker thread until told to stop; and the server's data
// connection, which reports failures at most once every 300 seconds.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "net/ConnectionManager.h"

namespace tarnhollow {

struct MonitorTimings {
    // How long a status change settles before it is read.
    std::chrono::milliseconds settle{5000};
    // Called by the worker as it begins to let a status settle; for tests.
    std::function<void()> settling;
};

class CConnectionMonitor : private ConnectionEvents {
public:
    // The handlers' result that ends the worker.
    static constexpr int kEndWorker = -1;
    // Shows the connection-error report for a status; called on the worker.
    using ErrorReport = std::function<void(uint32_t status)>;

    CConnectionMonitor(ConnectionManager& manager, ErrorReport report, MonitorTimings timings = {});
    // A derived monitor calls Disconnect in its own destructor, before its handlers go.
    virtual ~CConnectionMonitor();
    CConnectionMonitor(const CConnectionMonitor&) = delete;
    CConnectionMonitor& operator=(const CConnectionMonitor&) = delete;

    // Ends a worker that still runs and starts a new one. 0, or the error of the thread
    // that could not be made.
    int Connect(int proxyFlag);
    // Asks the worker to end and waits until it has: a stop is never lost, whether the
    // worker waits for a status, lets one settle or makes a request.
    void Disconnect();
    bool Running() const { return worker_.joinable(); }
    // The last status or error; the worker's exit code.
    uint32_t LastStatus() const { return lastStatus_; }

protected:
    // Classifies a status and calls the handler for it; the result steers the worker: 1
    // asks for a new connection, kEndWorker ends, anything else waits for the next status.
    virtual int OnStatus(uint32_t status);
    virtual void OnStarted() {}
    virtual int OnFailed();
    virtual int OnConnected() { return 0; }
    virtual int OnDisconnected() { return kEndWorker; }
    virtual int OnWaiting() { return 0; }
    virtual void OnFinished() {}
    void LaunchErrorReport();

private:
    void StatusChanged() override;
    void Monitor();
    bool StopRequested();

    ConnectionManager& manager_;
    const ErrorReport report_;
    const MonitorTimings timings_;
    int proxyFlag_ = 0;
    ConnectionHandle connection_ = 0;
    bool cacheOnRelease_ = false;
    std::atomic<uint32_t> lastStatus_{0};
    // The stop event and the status-change signal.
    std::mutex lock_;
    std::condition_variable changed_;
    bool stopSet_ = false;
    uint64_t statusChanges_ = 0;
    std::thread worker_;
};

class CDataConnection : public CConnectionMonitor {
public:
    // Seconds since 1970 (UTC).
    using Clock = std::function<int64_t()>;
    static int64_t SecondsNow();

    CDataConnection(ConnectionManager& manager, ErrorReport report, MonitorTimings timings = {},
                    Clock clock = SecondsNow);
    ~CDataConnection() override;

    // A connection through an HTTP proxy, with the next failure reported at once.
    int StartConnection();

protected:
    int OnFailed() override;
    int OnConnected() override;

private:
    const Clock clock_;
    std::atomic<int64_t> nextReportTime_;
};

}  // namespace tarnhollow
