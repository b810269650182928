#pragma once
// Deterministic damage to photo files: byte mutations (flips, truncations, inserted and removed
// bytes) and mutations aimed at the TIFF structures inside a photo (IFD entry counts, offsets and
// types, directory sizes and links, GPS entries and their values). Input n of a round depends on
// the round's seed and n only, so any input can be made again from its number.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace fuzz {

// A small, portable generator (splitmix64): the same numbers on every compiler and library.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next();
    // 0 <= result < bound (bound > 0)
    qsizetype below(qsizetype bound) { return qsizetype(next() % std::uint64_t(bound)); }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::uint64_t m_state;
};

// A 16- or 32-bit field of a TIFF structure, in that structure's byte order.
struct Field {
    qsizetype position = 0;
    bool bigEndian = false;
};

// One 12-byte directory entry.
struct Entry {
    Field at;           // of the tag number; type, count and value follow
    qsizetype base = 0; // where the structure's offsets count from
    bool gps = false;   // in a GPS directory
};

// What a walk of every TIFF structure in a file found (EXIF in JPEG, PNG, WebP, HEIF, EXV, and
// TIFF-based files themselves), bounded so damaged links cannot make it loop.
struct TiffMap {
    std::vector<qsizetype> bases;      // TIFF headers
    std::vector<Field> directorySizes; // the entry count that opens each directory
    std::vector<Field> nextLinks;      // the link that closes each directory
    std::vector<Entry> entries;
};

TiffMap mapTiff(const QByteArray& bytes);

struct Mutant {
    QByteArray bytes;
    QString description; // the mutations applied, e.g. "flip@1234 gps-count@310=0", for reports
};

// One to three mutations of seed, chosen by (roundSeed, input).
Mutant mutate(const QByteArray& seed, const TiffMap& map, std::uint64_t roundSeed,
              std::uint64_t input);

} // namespace fuzz
