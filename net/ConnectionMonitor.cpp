// The monitor's worker and its status classification, and the data connection's limit on
// error reports.
#include "net/ConnectionMonitor.h"

#include <system_error>

namespace tarnhollow {

namespace {

constexpr int64_t kReportInterval = 300;

}  // namespace

CConnectionMonitor::CConnectionMonitor(ConnectionManager& manager, ErrorReport report, MonitorTimings timings)
    : manager_(manager), report_(std::move(report)), timings_(std::move(timings)) {}

CConnectionMonitor::~CConnectionMonitor() { Disconnect(); }

int CConnectionMonitor::Connect(int proxyFlag) {
    Disconnect();
    proxyFlag_ = proxyFlag;
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopSet_ = false;
    }
    try {
        worker_ = std::thread([this] { Monitor(); });
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    return 0;
}

void CConnectionMonitor::Disconnect() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopSet_ = true;
    }
    changed_.notify_all();
    // Every wait of the worker watches the stop, so it ends promptly; it is joined, not
    // forgotten, because it uses this object until its last step.
    worker_.join();
}

void CConnectionMonitor::StatusChanged() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        ++statusChanges_;
    }
    changed_.notify_all();
}

bool CConnectionMonitor::StopRequested() {
    std::lock_guard<std::mutex> hold(lock_);
    return stopSet_;
}

int CConnectionMonitor::OnStatus(uint32_t status) {
    using namespace connection_status;
    if (status & kEndedGroup) {
        if (status == kDisconnected) {
            cacheOnRelease_ = true;
            return OnDisconnected();
        }
        cacheOnRelease_ = false;
        return OnFailed();
    }
    if (status == kConnected) return OnConnected();
    if (status & kWaitingGroup) return OnWaiting();
    return 0;
}

int CConnectionMonitor::OnFailed() {
    LaunchErrorReport();
    return 1;
}

void CConnectionMonitor::LaunchErrorReport() {
    if (report_) report_(lastStatus_);
}

void CConnectionMonitor::Monitor() {
    bool ending = false;
    while (!ending && !StopRequested()) {
        uint64_t seen;
        {
            std::lock_guard<std::mutex> hold(lock_);
            seen = statusChanges_;
        }
        connection_ = 0;
        uint32_t error = 0;
        connection_ = manager_.Establish(proxyFlag_ != 0, *this, error);
        if (!connection_) {
            lastStatus_ = error;
            OnFailed();
            cacheOnRelease_ = false;
        } else {
            OnStarted();
            for (;;) {
                std::unique_lock<std::mutex> hold(lock_);
                changed_.wait(hold, [&] { return stopSet_ || statusChanges_ != seen; });
                if (stopSet_) {
                    ending = true;
                    break;
                }
                seen = statusChanges_;
                hold.unlock();
                if (timings_.settling) timings_.settling();
                hold.lock();
                if (changed_.wait_for(hold, timings_.settle, [&] { return stopSet_; })) {
                    ending = true;
                    break;
                }
                seen = statusChanges_;
                hold.unlock();
                uint32_t status = 0;
                if (!manager_.QueryStatus(connection_, status, error)) {
                    lastStatus_ = error;
                    break;
                }
                lastStatus_ = status;
                const int next = OnStatus(status);
                if (next == 1) break;
                if (next == kEndWorker) {
                    ending = true;
                    break;
                }
            }
        }
        OnFinished();
        if (connection_) manager_.Release(connection_, cacheOnRelease_);
        connection_ = 0;
    }
}

int64_t CDataConnection::SecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

CDataConnection::CDataConnection(ConnectionManager& manager, ErrorReport report, MonitorTimings timings, Clock clock)
    : CConnectionMonitor(manager, std::move(report), std::move(timings)),
      clock_(std::move(clock)),
      nextReportTime_(clock_()) {}

CDataConnection::~CDataConnection() { Disconnect(); }

int CDataConnection::StartConnection() {
    nextReportTime_ = clock_();
    return Connect(1);
}

int CDataConnection::OnFailed() {
    const int64_t now = clock_();
    // Reported once the time has come, so that the first failure after a start or a
    // connection is reported even within the same second.
    if (now < nextReportTime_) return 1;
    LaunchErrorReport();
    nextReportTime_ = now + kReportInterval;
    return 1;
}

int CDataConnection::OnConnected() {
    nextReportTime_ = clock_();
    return 0;
}

}  // namespace tarnhollow
