#pragma once
// The photos a fuzz round starts from, one per kind of file the codec reads: made by our photo
// factory (through Exiv2), by ImageMagick and tagged by ExifTool, so that both writers' layouts
// and byte orders are among them.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace fuzz {

struct Seed {
    QString kind;   // "jpeg", "png", ...
    QString suffix; // the name's ending, which decides whether the codec may write a copy
    QByteArray bytes;
};

struct SeedTools {
    QString exiftool; // empty when missing: the kinds it tags are left out
    QString convert;
};

// Seeds made in dir; kinds that could not be made are named in missing.
std::vector<Seed> makeSeeds(const QString& dir, const SeedTools& tools, QStringList& missing);

} // namespace fuzz
