#include "drive.h"

#include <QByteArray>
#include <QFile>
#include <array>
#include <vector>

namespace fuzz {

namespace {

double decimal(qint32 degrees, qint32 minutes, qint32 tenThousandths) {
    return degrees + minutes / 60.0 + tenThousandths / 36000000.0;
}

std::vector<qint32> dms(const Position& p, int axis) {
    return {p.degrees[axis], 1, p.minutes[axis], 1, p.tenThousandths[axis], 10000};
}

} // namespace

double Position::latitude() const {
    const double value = decimal(degrees[0], minutes[0], tenThousandths[0]);
    return south ? -value : value;
}

double Position::longitude() const {
    const double value = decimal(degrees[1], minutes[1], tenThousandths[1]);
    return west ? -value : value;
}

double Position::altitude() const {
    return (belowSeaLevel ? -centimetres : centimetres) / 100.0;
}

Position positionFor(std::uint64_t input) {
    // Both hemispheres, the poles' and the date line's edges, with and without altitude.
    static constexpr std::array<Position, 4> kPositions{{
        {{33, 151}, {51, 12}, {246, 599999}, true, false, true, 1225, true},
        {{48, 2}, {51, 17}, {298000, 402000}, false, false, true, 3550, false},
        {{0, 0}, {0, 0}, {1, 1}, false, true, false, 0, false},
        {{89, 179}, {59, 59}, {599999, 599999}, true, true, true, 884886, false},
    }};
    return kPositions[input % kPositions.size()];
}

quint8 drive(codec::ICodec& codec, const QString& path, const QString& destination,
             const Position& position, bool readMakerNote) {
    quint8 outcome = 0;
    if (codec::isOpened(codec.OpenFile(path, false, false))) {
        outcome |= ReadOpened;
        double latitude = 0;
        double longitude = 0;
        if (codec.GetGpsCoordinate(latitude, longitude))
            outcome |= HadPosition;
        for (int tag = 0; tag <= 31; ++tag) {
            codec.IsTagExisted(tag, codec::kGpsDirectory);
            codec.TagValueString(tag, codec::kGpsDirectory);
            codec.TagValueLabel(tag, codec::kGpsDirectory);
        }
    }
    if (!codec::isOpened(codec.OpenFile(path, readMakerNote, true)))
        return outcome;
    outcome |= WriteOpened;
    const QString lat = position.south ? QStringLiteral("S") : QStringLiteral("N");
    const QString lon = position.west ? QStringLiteral("W") : QStringLiteral("E");
    codec.AddTag(0, codec::kGpsDirectory, codec::Byte, 4, QByteArray("\x02\x03\x00\x00", 4), false);
    codec.AddTag(1, codec::kGpsDirectory, codec::Ascii, 2, lat, false);
    codec.AddTag(2, codec::kGpsDirectory, codec::Rational, 3, dms(position, 0), false);
    codec.AddTag(3, codec::kGpsDirectory, codec::Ascii, 2, lon, false);
    codec.AddTag(4, codec::kGpsDirectory, codec::Rational, 3, dms(position, 1), false);
    if (position.hasAltitude) {
        codec.AddTag(5, codec::kGpsDirectory, codec::Byte, 1,
                     QByteArray(1, position.belowSeaLevel ? 1 : 0), false);
        codec.AddTag(6, codec::kGpsDirectory, codec::Rational, 1,
                     std::vector<qint32>{position.centimetres, 100}, false);
    }
    if (codec.SaveToJPEG(destination))
        outcome |= Saved;
    return outcome;
}

} // namespace fuzz
