#pragma once
// One fuzz input through the codec, called the way the export and the import batch call it.

#include "codec/codec.h"

#include <QString>
#include <cstdint>

namespace fuzz {

// The position written into every copy, in the form the import batch gives the codec: degrees
// and minutes over 1, seconds over 10000, altitude in centimetres.
struct Position {
    qint32 degrees[2]; // latitude, longitude (absolute)
    qint32 minutes[2];
    qint32 tenThousandths[2]; // of a second
    bool south = false;
    bool west = false;
    bool hasAltitude = false;
    qint32 centimetres = 0; // absolute
    bool belowSeaLevel = false;

    double latitude() const; // signed decimal degrees, exactly what the rationals say
    double longitude() const;
    double altitude() const; // signed metres
};

Position positionFor(std::uint64_t input);

enum Outcome : quint8 {
    ReadOpened = 1,  // the export's open succeeded
    HadPosition = 2, // and it found a valid position
    WriteOpened = 4, // the import's open succeeded
    Saved = 8,       // SaveToJPEG reported a copy
    SourceChanged = 16,
};

// Export: OpenFile, GetGpsCoordinate and every GPS tag's value and label. Import: OpenFile for
// writing, the seven AddTag calls, SaveToJPEG(destination). Returns Outcome bits.
quint8 drive(codec::ICodec& codec, const QString& path, const QString& destination,
             const Position& position, bool readMakerNote);

} // namespace fuzz
