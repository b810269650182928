#pragma once
// A position track read from a GPX, KML or NMEA file: points in flat vectors, cut into segments.
// Every format has one reader class behind TrackReader; the caller builds the user's message from
// what the reader says.

#include <QString>
#include <cmath>
#include <limits>
#include <vector>

class QIODevice;

inline constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

struct TrackPoint {
    double latitude = 0;  // signed decimal degrees, south negative
    double longitude = 0; // signed decimal degrees, west negative
    double altitude = std::numeric_limits<double>::quiet_NaN(); // metres; NaN when not given
    qint64 timeMs = kNoTime; // UTC, milliseconds since 1970; kNoTime for untimed geometry

    bool hasAltitude() const { return !std::isnan(altitude); }
    bool hasTime() const { return timeMs != kNoTime; }
};

struct Track {
    std::vector<TrackPoint> points;
    // Index of the first point of every segment, ascending, the first one 0 (empty without points).
    std::vector<size_t> segmentStarts;
    // Points left out: a time that could not be read, or no time in a file of timed points.
    qint64 skipped = 0;

    // Starts a segment at the next point (a second call without points between does nothing).
    void beginSegment();
    // Each point carries a time (a timed track); false for an empty track.
    bool timed() const { return !points.empty() && points.front().hasTime(); }
    size_t segmentEnd(size_t segment) const {
        return segment + 1 < segmentStarts.size() ? segmentStarts[segment + 1] : points.size();
    }
    // When any point carries a time, the untimed ones are dropped (GPSBabel writes a track both as
    // timed placemarks and as a plain line; countUntimed adds them to skipped), and so are timed
    // points beyond ±90°/±180° (counted). Then every segment is put in time order and empty
    // segments go. Untimed tracks keep every point: the list shows impossible ones as invalid.
    void finish(bool countUntimed);
};

enum class TrackFormat { None, Gpx, Kml, Nmea };

class TrackReader {
public:
    virtual ~TrackReader() = default;
    // Reads the whole device into track. False when the content is not of this format or broken;
    // errorString() and errorLine() then say why and where.
    virtual bool parse(QIODevice& device, Track& track) = 0;
    const QString& errorString() const { return m_errorString; }
    qint64 errorLine() const { return m_errorLine; }

protected:
    void setError(const QString& text, qint64 line) {
        m_errorString = text;
        m_errorLine = line;
    }

private:
    QString m_errorString;
    qint64 m_errorLine = 0;
};

// ISO 8601 date and time as GPX and KML write it: "2024-05-01T08:00:00Z", with or without
// fractions and with "+08:00" style offsets; without a zone it is taken as UTC. kNoTime when the
// text is not such a time.
qint64 parseIsoTime(QStringView text);

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar (month 1-12, day 1-31).
qint64 daysFromCivil(qint64 year, unsigned month, unsigned day);

// A decimal number of the whole text (surrounding blanks allowed); NaN when it is none.
double parseDecimal(QStringView text);
