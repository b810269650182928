#pragma once
// KML 2.x as Google Earth and GPSBabel write it: <coordinates> of Points and LineStrings (tuples
// "lon,lat[,alt]" separated by any white space), placemarks timed by <TimeStamp><when>, and
// gx:Track with its <when> and <gx:coord> lists. Timed placemarks form one segment, every gx:Track
// one of its own, every untimed <coordinates> one more (ignored when the file holds timed points).
// Namespaces are honoured; a document type with entity declarations is refused.

#include "gpslog/track.h"

class KmlReader final : public TrackReader {
public:
    bool parse(QIODevice& device, Track& track) override;
};
