// The reader's search and read steps, the sentence handling that feeds the current
// texts, the track, the raw log and NearMe, and saving what lasts at the end.
#include "gps/GpsReader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "gps/FixFile.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

// One read takes at most this much of what the driver holds.
constexpr size_t kReadBufferBytes = 8192;
// A gpsd connection may hold more than one read; a tick takes what is there, so that
// the reader never falls behind, but no more than this many reads.
constexpr int kMaxReadsPerTick = 16;
constexpr uint64_t kLogSizeUnit = 1'000'000;

// An event counter becomes full only after 2^64 - 2 signals, far more than stops.
void SignalEvent(int fd) {
    const uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void ClearEvent(int fd) {
    uint64_t count = 0;
    while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace

std::string FormatPortName(std::wstring_view portTemplate, int number) {
    std::wstring name;
    int used = 0;
    for (size_t i = 0; i < portTemplate.size(); ++i) {
        const wchar_t next = i + 1 < portTemplate.size() ? portTemplate[i + 1] : L'\0';
        if (portTemplate[i] == L'%' && next == L'%') {
            name += L'%';
            ++i;
        } else if (portTemplate[i] == L'%' && next == L'd' && used < 2) {
            name += std::to_wstring(number + used++);
            ++i;
        } else {
            name += portTemplate[i];
        }
    }
    return WideToAnsi(name);
}

GpsReader::GpsReader(ConstructionKey key, std::string stateFolder, GpsReaderTimings timings)
    : PeriodicWorker(key),
      timings_(timings),
      settings_(ReadGpsSettings(stateFolder)),
      fixFilePath_(stateFolder + "gpsfix.log"),
      track_(settings_.maxFixes),
      nearMe_(settings_.nearMeUrl, timings.nearMe),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      filter_(settings_.timeStep, settings_.distanceStep, settings_.previous) {
    texts_.hardware = kSearchingText;
    if (patterns_.Compile(settings_.ggaPattern, settings_.coordinatePattern, settings_.timePattern)) {
        track_.Replace(LoadFixFile(fixFilePath_, settings_.maxFixes));
    }
}

GpsReader::~GpsReader() {
    port_.reset();
    // Without its patterns the reader neither loaded the stored track nor could add to
    // it; writing its empty track would wipe the file.
    if (patterns_.compiled) SaveFixFile(fixFilePath_, track_.Copy());
    WritePreviousFix(filter_.Previous());
}

void GpsReader::StartReading() {
    std::lock_guard<std::mutex> hold(stateLock_);
    if (running_) return;
    running_ = true;
    attempts_ = 0;
    // A stop still pending would cut the new run's reads short.
    if (wake_.IsOpen()) ClearEvent(wake_.Get());
    StartWorker(timings_.searchPeriodMilliseconds);
}

int GpsReader::StopWorker() {
    std::lock_guard<std::mutex> hold(stateLock_);
    return StopHoldingStateLock();
}

int GpsReader::StopHoldingStateLock() {
    running_ = false;
    if (wake_.IsOpen()) SignalEvent(wake_.Get());
    return PeriodicWorker::StopWorker();
}

bool GpsReader::IsRunning() const {
    std::lock_guard<std::mutex> hold(stateLock_);
    return running_;
}

GpsTexts GpsReader::CurrentTexts() const {
    std::lock_guard<std::mutex> hold(textsLock_);
    return texts_;
}

bool GpsReader::StopRequested() const {
    pollfd polled{wake_.Get(), POLLIN, 0};
    return wake_.IsOpen() && ::poll(&polled, 1, 0) > 0;
}

void GpsReader::Tick(bool final) {
    if (final) {
        ClosePort();
        return;
    }
    if (!port_ && !OpenNextPort()) return;
    char buffer[kReadBufferBytes];
    bool handled = false;
    for (int read = 0; read < kMaxReadsPerTick; ++read) {
        size_t count = 0;
        const NmeaPort::ReadResult result =
            port_->Read(buffer, sizeof buffer - 1, read == 0 ? timings_.readTimeoutMilliseconds : 0, wake_.Get(), count);
        // The stop's final tick closes the port.
        if (result == NmeaPort::ReadResult::Woken) return;
        if (result != NmeaPort::ReadResult::Data) break;
        handled = lines_.Feed(std::string_view(buffer, count), [this](std::wstring_view line) { HandleLine(line); }) ||
                  handled;
        if (count < sizeof buffer - 1) break;
    }
    if (handled) {
        SetPeriod(timings_.readPeriodMilliseconds);
        std::lock_guard<std::mutex> hold(stateLock_);
        attempts_ = 0;
    } else {
        ClosePort();
    }
}

bool GpsReader::TakeAttempt() {
    // Under the lock that a start takes, so that a start cannot fall between this check
    // and the stop and be lost.
    std::lock_guard<std::mutex> hold(stateLock_);
    if (attempts_ >= kMaxAttempts) {
        StopHoldingStateLock();
        return false;
    }
    ++attempts_;
    return true;
}

bool GpsReader::OpenNextPort() {
    if (!TakeAttempt()) return false;
    if (portNumber_ >= kPortNumbers) portNumber_ = 0;
    const std::string name = FormatPortName(settings_.portTemplate, portNumber_++);
    if (name.empty()) return false;
    Log(L"\n" + AnsiToWide(name));
    const std::wstring hardware = L"GPS on " + PlainGpsText(AnsiToWide(name));
    SetHardwareText(hardware);
    port_ = NmeaPort::Open(name, timings_.readTimeoutMilliseconds, wake_.Get());
    if (port_) return true;
    SetHardwareText(hardware + L"  not found. Searching...");
    Log(L".. failed");
    return false;
}

void GpsReader::ClosePort() {
    port_.reset();
    SetPeriod(timings_.searchPeriodMilliseconds);
}

void GpsReader::HandleLine(std::wstring_view line) {
    const SentenceOutcome outcome = ExtractSentence(patterns_, settings_.limits, line);
    if (outcome.kind == SentenceOutcome::Kind::Ignored) return;
    Log(outcome.logEntry);
    if (outcome.kind != SentenceOutcome::Kind::Fix) return;
    {
        std::lock_guard<std::mutex> hold(textsLock_);
        texts_.time = outcome.timeText;
        texts_.latitude = outcome.latitudeText;
        texts_.longitude = outcome.longitudeText;
    }
    if (outcome.timeText.empty() || outcome.longitudeText.empty() || outcome.latitudeText.empty()) return;
    const TrackFilter::Decision decision = filter_.Consider(outcome.time, outcome.longitude, outcome.latitude);
    if (decision.addToTrack) {
        track_.Add(GpsFix{{outcome.timeText, outcome.longitudeText, outcome.latitudeText}});
    }
    if (decision.sendNearMe) {
        nearMe_.Send(outcome.time, outcome.longitude, outcome.latitude, [this] { return StopRequested(); });
    }
}

void GpsReader::Log(std::wstring_view text) {
    rawLog_.Append(text, settings_.logFileName, static_cast<uint64_t>(settings_.logFileSize) * kLogSizeUnit);
}

void GpsReader::SetHardwareText(std::wstring text) {
    std::lock_guard<std::mutex> hold(textsLock_);
    texts_.hardware = std::move(text);
}

}  // namespace tarnhollow
