#pragma once
// GPX 1.0 and 1.1: track points (one segment per trkseg), route points (one per route) and
// waypoints (one segment of their own), each with optional ele and time. Elements of other
// namespaces (extensions) are passed over; a document type with entity declarations is refused.

#include "gpslog/track.h"

class GpxReader final : public TrackReader {
public:
    bool parse(QIODevice& device, Track& track) override;
};
