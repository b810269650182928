#pragma once
// NMEA 0183 logs: RMC and GGA sentences of any talker ($GP, $GN, $GL, ...). A sentence whose
// checksum is wrong is left out; a fix is taken only when its sentences say it is valid (RMC status
// "A" and a mode other than "N", GGA quality above 0). RMC gives the date; a GGA of the same time
// adds the altitude. Fixes without a known date are left out and counted.

#include "gpslog/track.h"

class NmeaReader final : public TrackReader {
public:
    bool parse(QIODevice& device, Track& track) override;

    // Sentences refused for a wrong checksum, and fixes marked invalid, in the last parse.
    qint64 badChecksums() const { return m_badChecksums; }
    qint64 invalidFixes() const { return m_invalidFixes; }

private:
    qint64 m_badChecksums = 0;
    qint64 m_invalidFixes = 0;
};

// True when the first lines of a file look like NMEA sentences.
bool looksLikeNmea(const QByteArray& head);
