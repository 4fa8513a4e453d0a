// A connection to the X display named by DISPLAY: opened on first use and kept, and
// opened afresh on the next use after the X server has dropped it.
#pragma once

struct _XDisplay;

namespace tarnhollow {

class XDisplayConnection {
public:
    XDisplayConnection() = default;
    ~XDisplayConnection();
    XDisplayConnection(const XDisplayConnection&) = delete;
    XDisplayConnection& operator=(const XDisplayConnection&) = delete;

    // The open display, or null when none can be opened now (no DISPLAY, no server).
    _XDisplay* Get();

    // Counts the connections opened so far, so that a user can tell when what it
    // learned about the display belongs to an earlier connection.
    unsigned Generation() const { return generation_; }

    // Waits until the X server has handled every request sent so far; false when one
    // of them failed or the connection is gone.
    bool SyncWithoutErrors();

private:
    static void OnConnectionLost(_XDisplay* display, void* self);
    void Close();

    _XDisplay* display_ = nullptr;
    bool lost_ = false;
    unsigned generation_ = 0;
};

}  // namespace tarnhollow
