#pragma once
// Positions as ExifTool, a reader independent of the codec, finds them in photos.

#include <QHash>
#include <QProcess>
#include <QStringList>
#include <optional>

struct ExifToolPosition {
    double latitude = 0;
    double longitude = 0;
    std::optional<double> altitude;
};

// Signed degrees and metres of each photo, by file name; photos without a position are left out.
inline QHash<QString, ExifToolPosition> exiftoolPositions(const QStringList& paths) {
    QProcess p;
    p.start(QString::fromUtf8(CORVEXA_EXIFTOOL),
            QStringList{"-n", "-T", "-FileName", "-Composite:GPSLatitude",
                        "-Composite:GPSLongitude", "-Composite:GPSAltitude"} +
                paths);
    p.waitForFinished(60000);
    QHash<QString, ExifToolPosition> result;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n')) {
        const QStringList f = line.trimmed().split(u'\t');
        if (f.size() != 4 || f[1] == "-")
            continue;
        ExifToolPosition position{f[1].toDouble(), f[2].toDouble(), std::nullopt};
        if (f[3] != "-")
            position.altitude = f[3].toDouble();
        result.insert(f[0], position);
    }
    return result;
}
