// The GPS reader: a periodic worker that searches the serial ports (or gpsd) for an NMEA
// receiver, reads its GGA sentences, keeps the current fix texts and the track for the
// GPS pages, writes the raw log and the fix file, and sends the NearMe update.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "gps/GpsFix.h"
#include "gps/GpsSettings.h"
#include "gps/GpsTrack.h"
#include "gps/NearMeUpdater.h"
#include "gps/NmeaLines.h"
#include "gps/NmeaPort.h"
#include "gps/NmeaSentence.h"
#include "gps/RawLog.h"
#include "gps/TrackFilter.h"
#include "platform/File.h"
#include "platform/PeriodicWorker.h"
#include "platform/UserFolders.h"

namespace tarnhollow {

// How often the reader wakes and how long it waits; tests make them short.
struct GpsReaderTimings {
    // Between port attempts while searching, and between reads of a receiver.
    int32_t searchPeriodMilliseconds = 1000;
    int32_t readPeriodMilliseconds = 15000;
    // How long a read (or gpsd's connection) waits for the receiver.
    int readTimeoutMilliseconds = 5000;
    NearMeTimeouts nearMe;
};

// What the pages show of the current fix and the search.
struct GpsTexts {
    std::wstring time;
    std::wstring longitude;
    std::wstring latitude;
    // The state of the search, for <gpshardware>.
    std::wstring hardware;
};

// The port name of port number `number`: the template with its first "%d" replaced by
// `number`, its second by `number` + 1, and "%%" by "%"; everything else, further
// "%d" included, stays as written (the template is a setting, never a printf format).
std::string FormatPortName(std::wstring_view portTemplate, int number);

class GpsReader : public PeriodicWorker {
public:
    // Port attempts without a handled line before the reader stops itself: every port
    // number three times and the first once more.
    static constexpr uint32_t kMaxAttempts = 31;
    static constexpr int kPortNumbers = 10;
    static constexpr wchar_t kSearchingText[] = L"Looking for GPS hardware..........";

    // Reads the settings and compiles the patterns; when they compile, loads the fix
    // file from `stateFolder` (which also holds the default raw log). Does not start.
    GpsReader(ConstructionKey key, std::string stateFolder = StateFolder(), GpsReaderTimings timings = {});
    // The Periodic wrapper has ended the loop by now (its final tick closed the port):
    // saves the track to the fix file and the previous fix to the settings.
    ~GpsReader() override;

    // Starts searching unless the reader runs already; a search that gave up starts
    // again from the attempt count 0. Returns at once: safe on the server thread.
    virtual void StartReading();
    // Requests the stop and wakes a read that waits; does not wait. The port is closed
    // by the final tick on the reader's own thread, the only thread that uses it.
    int StopWorker() override;

    // Copies, under their guards, for the server thread.
    GpsTexts CurrentTexts() const;
    std::vector<GpsFix> Track() const { return track_.Copy(); }
    bool IsRunning() const;

    // The machine's public host name for the NearMe update.
    void SetPublicName(std::wstring_view hostName) { nearMe_.SetPublicName(hostName); }

    const std::string& FixFilePath() const { return fixFilePath_; }

protected:
    void Tick(bool final) override;

private:
    // Counts a port attempt; false, having stopped the reader, past the last one.
    bool TakeAttempt();
    bool OpenNextPort();
    void ClosePort();
    void HandleLine(std::wstring_view line);
    void Log(std::wstring_view text);
    void SetHardwareText(std::wstring text);
    int StopHoldingStateLock();
    // Whether a stop has been requested since the last start.
    bool StopRequested() const;

    const GpsReaderTimings timings_;
    const GpsSettings settings_;
    const std::string fixFilePath_;
    NmeaPatterns patterns_;
    GpsTrack track_;
    NearMeUpdater nearMe_;
    // Readable while a stop is pending; a read waits on it beside the port.
    UniqueFd wake_;

    // Only the reader's thread uses these (and the destructor, after it ended).
    TrackFilter filter_;
    RawLog rawLog_;
    NmeaLines lines_;
    std::unique_ptr<NmeaPort> port_;
    int portNumber_ = 0;

    // Guards the attempt count, running_ and the start and stop requests, so that a
    // start cannot slip between a stop's two halves.
    mutable std::mutex stateLock_;
    uint32_t attempts_ = 0;
    bool running_ = false;
    mutable std::mutex textsLock_;
    GpsTexts texts_;
};

}  // namespace tarnhollow
