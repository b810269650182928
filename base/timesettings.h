#pragma once
// How photos are matched to a timed track: the camera's time zone, whether a photo's own zone
// wins, the camera clock's error and the longest gap a segment may hold. Kept in "BatchSetup".

#include <QString>
#include <QStringList>
#include <optional>

struct TimeSettings {
    // Minutes east of UTC the camera clock was set to; empty: this computer's zone.
    std::optional<int> cameraZoneMinutes;
    // A photo's OffsetTimeOriginal wins over cameraZoneMinutes.
    bool photoZoneFirst = true;
    // Added to every photo's time (as ExifTool's -geosync): GPS time = photo time + this.
    int clockSeconds = 0;
    // Two points of one segment further apart than this end the segment there.
    int maxGapSeconds = 1800;

    bool operator==(const TimeSettings&) const = default;
};

// Values given on the command line; each one given wins over the stored value.
struct TimeOverrides {
    std::optional<int> cameraZoneMinutes;
    std::optional<int> clockSeconds;
    std::optional<int> maxGapSeconds;
};

namespace timesettings {

// Camera zones offered: UTC−12:00 to UTC+14:00 in steps of 15 minutes.
inline constexpr int kZoneStepMinutes = 15;
inline constexpr int kMinZoneMinutes = -12 * 60;
inline constexpr int kMaxZoneMinutes = 14 * 60;
inline constexpr int kDefaultMaxGapSeconds = 1800;

// The stored values; a missing or unreadable value keeps its default.
TimeSettings read();
void write(const TimeSettings& values);
TimeSettings withOverrides(TimeSettings values, const TimeOverrides& overrides);

// "UTC+08:00", "UTC−05:30" (a true minus sign), "UTC+00:00".
QString zoneText(int minutes);
// "+08:00", "-5:30", "+8", "UTC+08:00", "UTC−05:30", "Z", "0": minutes east of UTC within the
// offered range and on a 15-minute step; empty for anything else.
std::optional<int> parseZone(QString text);
// "-75", "+90", "-0:01:15", "1:30:00" (h:m:s, signed): seconds; empty for anything else.
std::optional<int> parseClock(const QString& text);
// "-0:01:15" style text of a clock correction.
QString clockText(int seconds);
// A whole number of seconds from 1 to 7 days; empty for anything else.
std::optional<int> parseMaxGap(const QString& text);

} // namespace timesettings
