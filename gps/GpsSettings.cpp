// Reading the GPS settings and storing the previous fix.
#include "gps/GpsSettings.h"

#include <algorithm>
#include <cstdint>

#include "gps/GpsNumbers.h"
#include "gps/NearMeUpdater.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

GpsSettings ReadGpsSettings(const std::string& stateFolder) {
    auto key = OpenSettingsKey();
    SettingsKey* k = key.get();
    GpsSettings settings;
    settings.portTemplate = ReadString(k, L"NMEAPortTemplate", kDefaultPortTemplate);
    const std::wstring defaultLog = AnsiToWide(stateFolder + "gps.log");
    settings.logFileName = WideToAnsi(ReadString(k, L"GpsLogFileName", defaultLog.c_str()));
    settings.logFileSize = ReadDword(k, L"GpsLogFileSize", 1);
    settings.timeStep = ReadDword(k, L"GpsLogTimePrec", 1500);
    settings.distanceStep = ParseDecimalNumber(ReadString(k, L"GpsLogDistPrec", L"0.001"));
    settings.limits.qualityMin = ReadDword(k, L"GpsValidityMin", 1);
    settings.limits.qualityMax = ReadDword(k, L"GpsValidityMax", 3);
    settings.limits.maxDop = ParseDecimalNumber(ReadString(k, L"GpsMaxDOP", L"50.0"));
    settings.maxFixes = ReadDword(k, L"GpsMaxFixes", 20);
    settings.previous.time = ReadDword(k, L"GpsPrevTime", 0);
    settings.previous.longitude = ParseDecimalNumber(ReadString(k, L"GpsPrevLon", L"0"));
    settings.previous.latitude = ParseDecimalNumber(ReadString(k, L"GpsPrevLat", L"0"));
    settings.ggaPattern = ReadString(k, L"NMEA Pattern3", kDefaultGgaPattern);
    settings.coordinatePattern = ReadString(k, L"NMEAData2", kDefaultCoordinatePattern);
    settings.timePattern = ReadString(k, L"NMEATime", kDefaultTimePattern);
    settings.nearMeUrl = ReadString(k, L"GpsNearMeURL", kDefaultNearMeUrl);
    return settings;
}

void WritePreviousFix(const PreviousFix& previous) {
    auto key = OpenSettingsKey();
    WriteDword(key.get(), L"GpsPrevTime", static_cast<uint32_t>(std::clamp<long long>(previous.time, 0, UINT32_MAX)));
    WriteString(key.get(), L"GpsPrevLon", FormatCoordinate(previous.longitude));
    WriteString(key.get(), L"GpsPrevLat", FormatCoordinate(previous.latitude));
}

}  // namespace tarnhollow
