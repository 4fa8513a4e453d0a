// A connection to the X display named by DISPLAY: opened on first use and kept, and
// opened afresh on the next use after the X server has dropped it.
#pragma once

#include <chrono>

struct _XDisplay;

namespace tarnhollow {

class XDisplayConnection {
public:
    // After a failed open, how long Get answers null without trying again: with a
    // remote DISPLAY every attempt is a name lookup and a connection time-out.
    static constexpr std::chrono::seconds kRetryInterval{5};

    XDisplayConnection() = default;
    ~XDisplayConnection();
    XDisplayConnection(const XDisplayConnection&) = delete;
    XDisplayConnection& operator=(const XDisplayConnection&) = delete;

    // The open display, or null when none can be opened now (no DISPLAY, no server, or
    // the last attempt failed less than kRetryInterval ago).
    _XDisplay* Get();

    // Counts the connections opened so far, so that a user can tell when what it
    // learned about the display belongs to an earlier connection.
    unsigned Generation() const { return generation_; }

    // Waits until the X server has handled every request sent so far; false when one
    // of them failed or the connection is gone.
    bool SyncWithoutErrors();

    // True when the keyboard map changed since the previous call, going by the events
    // that have arrived, read without waiting for more. The first call on a connection
    // also asks the server for those events, which it sends only when asked.
    bool ReadKeyboardMapChanges();

private:
    static void OnConnectionLost(_XDisplay* display, void* self);
    void Close();

    _XDisplay* display_ = nullptr;
    bool lost_ = false;
    unsigned generation_ = 0;
    // The keyboard extension's first event code once map changes are asked for; -1
    // before, or without the extension.
    int keyboardEvents_ = -1;
    bool watchingKeyboard_ = false;
    std::chrono::steady_clock::time_point nextAttempt_{};
};

}  // namespace tarnhollow
