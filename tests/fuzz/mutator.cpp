#include "mutator.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <set>
#include <utility>

namespace fuzz {

std::uint64_t Random::next() {
    m_state += 0x9e3779b97f4a7c15ull;
    std::uint64_t z = m_state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

namespace {

// Deep enough for IFD0 > EXIF > interoperability and a maker note, shallow enough for any chain.
constexpr int kMaxDepth = 6;
constexpr int kMaxEntries = 4000;
// Headers beyond this are inside image data, not metadata.
constexpr qsizetype kSearchLimit = 4 * 1024 * 1024;

constexpr quint16 kExifPointer = 0x8769;
constexpr quint16 kGpsPointer = 0x8825;
constexpr quint16 kInteropPointer = 0xa005;
constexpr quint16 kSubIfds = 0x014a;
constexpr quint16 kMakerNote = 0x927c;

// 0 outside the file: earlier mutations of the same input may have moved or cut it.
quint32 read(const QByteArray& bytes, Field field, int size) {
    if (field.position < 0 || field.position + size > bytes.size())
        return 0;
    quint32 value = 0;
    for (int i = 0; i < size; ++i) {
        const int shift = field.bigEndian ? 8 * (size - 1 - i) : 8 * i;
        value |= quint32(quint8(bytes[field.position + i])) << shift;
    }
    return value;
}

void write(QByteArray& bytes, Field field, int size, quint32 value) {
    if (field.position < 0 || field.position + size > bytes.size())
        return;
    for (int i = 0; i < size; ++i) {
        const int shift = field.bigEndian ? 8 * (size - 1 - i) : 8 * i;
        bytes[field.position + i] = char(value >> shift);
    }
}

Field offsetBy(Field field, qsizetype delta) {
    return {field.position + delta, field.bigEndian};
}

class Walker {
public:
    Walker(const QByteArray& bytes, TiffMap& map) : m_bytes(bytes), m_map(map) {}

    void walk(qsizetype base) {
        const bool big = m_bytes[base] == 'M';
        if (!big && m_bytes[base] != 'I')
            return;
        m_map.bases.push_back(base);
        walkDirectory(base, big, read(m_bytes, {base + 4, big}, 4), false, 0);
    }

private:
    bool fits(qsizetype position, qsizetype size) const {
        return position >= 0 && size >= 0 && position + size <= m_bytes.size();
    }

    void walkDirectory(qsizetype base, bool big, quint32 offset, bool gps, int depth) {
        const qsizetype start = base + qsizetype(offset);
        if (depth > kMaxDepth || offset < 8 || !fits(start, 2) || !m_seen.insert(start).second)
            return;
        const Field size{start, big};
        const quint32 count = read(m_bytes, size, 2);
        if (count == 0 || !fits(start + 2, qsizetype(count) * 12 + 4) ||
            m_map.entries.size() + count > kMaxEntries)
            return;
        m_map.directorySizes.push_back(size);
        for (quint32 i = 0; i < count; ++i) {
            const Field at{start + 2 + qsizetype(i) * 12, big};
            m_map.entries.push_back({at, base, gps});
            const quint32 tag = read(m_bytes, at, 2);
            const quint32 value = read(m_bytes, offsetBy(at, 8), 4);
            if (tag == kExifPointer || tag == kInteropPointer || tag == kSubIfds)
                walkDirectory(base, big, value, false, depth + 1);
            else if (tag == kGpsPointer)
                walkDirectory(base, big, value, true, depth + 1);
            else if (tag == kMakerNote && !gps)
                walkDirectory(base, big, value, false, depth + 1); // Canon's: a plain directory
        }
        const Field next{start + 2 + qsizetype(count) * 12, big};
        m_map.nextLinks.push_back(next);
        walkDirectory(base, big, read(m_bytes, next, 4), gps, depth + 1);
    }

    const QByteArray& m_bytes;
    TiffMap& m_map;
    std::set<qsizetype> m_seen;
};

bool tiffHeaderAt(const QByteArray& bytes, qsizetype at) {
    if (at < 0 || at + 8 > bytes.size())
        return false;
    const QByteArray head = bytes.mid(at, 4);
    return head == QByteArray("II*\0", 4) || head == QByteArray("MM\0*", 4);
}

// Values that sit on the edges readers get wrong.
constexpr std::array<quint32, 18> kEdges{
    0,    1,     2,      3,      4,      7,       8,          0x7f,       0x80,
    0xff, 0x100, 0x7fff, 0x8000, 0xffff, 0x10000, 0x7fffffff, 0x80000000, 0xffffffff};

quint32 edgeValue(Random& random, quint32 old, qsizetype fileSize) {
    switch (random.below(4)) {
    case 0:
        return kEdges[std::size_t(random.below(qsizetype(kEdges.size())))];
    case 1:
        return old + quint32(random.below(9)) - 4; // off by a few
    case 2:
        return old * 2 + quint32(random.below(2)) * 0x10000;
    default:
        return quint32(fileSize - random.below(16)); // at or past the end
    }
}

// Where byte mutations land: mostly in the first metadata block, sometimes anywhere.
qsizetype hotPosition(Random& random, const QByteArray& bytes, const TiffMap& map) {
    const qsizetype start = map.bases.empty() || random.chance(20) ? 0 : map.bases.front();
    const qsizetype span = std::min<qsizetype>(bytes.size() - start, 64 * 1024);
    if (span <= 0 || random.chance(15))
        return random.below(std::max<qsizetype>(bytes.size(), 1));
    return start + random.below(span);
}

using Step = QString (*)(QByteArray&, const TiffMap&, Random&);

QString flipBits(QByteArray& bytes, const TiffMap& map, Random& random) {
    const qsizetype at = hotPosition(random, bytes, map);
    const int bits = int(random.below(8)) + 1;
    for (int i = 0; i < bits; ++i)
        bytes[std::min(at + random.below(4), bytes.size() - 1)] ^= char(1 << random.below(8));
    return QStringLiteral("flip@%1").arg(at);
}

QString setBytes(QByteArray& bytes, const TiffMap& map, Random& random) {
    const qsizetype at = hotPosition(random, bytes, map);
    const qsizetype length = std::min<qsizetype>(random.below(8) + 1, bytes.size() - at);
    static constexpr std::array<char, 5> kBytes{0, char(0xff), 0x7f, char(0x80), 0x20};
    const char value = kBytes[std::size_t(random.below(kBytes.size()))];
    for (qsizetype i = 0; i < length; ++i)
        bytes[at + i] = value;
    return QStringLiteral("set@%1x%2").arg(at).arg(length);
}

QString truncate(QByteArray& bytes, const TiffMap& map, Random& random) {
    const qsizetype at = hotPosition(random, bytes, map);
    bytes.truncate(at);
    return QStringLiteral("cut@%1").arg(at);
}

QString insertBytes(QByteArray& bytes, const TiffMap& map, Random& random) {
    const qsizetype at = hotPosition(random, bytes, map);
    const qsizetype length = random.chance(80) ? random.below(16) + 1 : random.below(4096) + 1;
    QByteArray inserted(length, Qt::Uninitialized);
    for (char& c : inserted)
        c = char(random.next());
    bytes.insert(at, inserted);
    return QStringLiteral("insert@%1+%2").arg(at).arg(length);
}

QString removeBytes(QByteArray& bytes, const TiffMap& map, Random& random) {
    const qsizetype at = hotPosition(random, bytes, map);
    const qsizetype length = std::min<qsizetype>(
        random.chance(80) ? random.below(16) + 1 : random.below(4096) + 1, bytes.size() - at);
    bytes.remove(at, length);
    return QStringLiteral("remove@%1-%2").arg(at).arg(length);
}

const Entry* pickEntry(const TiffMap& map, Random& random, bool gpsOnly) {
    std::vector<const Entry*> chosen;
    for (const Entry& entry : map.entries)
        if (!gpsOnly || entry.gps)
            chosen.push_back(&entry);
    if (chosen.empty())
        return nullptr;
    return chosen[std::size_t(random.below(qsizetype(chosen.size())))];
}

// Count (4 bytes at +4), value or offset (4 bytes at +8), type (2 bytes at +2) or tag number.
QString damageEntry(QByteArray& bytes, const Entry& entry, Random& random, const QString& name) {
    const int part = int(random.below(entry.gps ? 5 : 4));
    if (part == 0) {
        const Field count = offsetBy(entry.at, 4);
        const quint32 value = edgeValue(random, read(bytes, count, 4), bytes.size());
        write(bytes, count, 4, value);
        return QStringLiteral("%1-count@%2=%3").arg(name).arg(count.position).arg(value);
    }
    if (part == 1) {
        const Field offset = offsetBy(entry.at, 8);
        // Sometimes the entry's own directory or the header: links that go round.
        const quint32 value =
            random.chance(20)
                ? quint32(entry.at.position - entry.base - random.below(3) * 12)
                : edgeValue(random, read(bytes, offset, 4), bytes.size() - entry.base);
        write(bytes, offset, 4, value);
        return QStringLiteral("%1-offset@%2=%3").arg(name).arg(offset.position).arg(value);
    }
    if (part == 2) {
        static constexpr std::array<quint16, 14> kTypes{0, 1, 2,  3,  4,  5,  6,
                                                        7, 9, 10, 11, 12, 13, 0xffff};
        const quint16 type = kTypes[std::size_t(random.below(kTypes.size()))];
        write(bytes, offsetBy(entry.at, 2), 2, type);
        return QStringLiteral("%1-type@%2=%3").arg(name).arg(entry.at.position).arg(type);
    }
    if (part == 3) {
        // Another tag's number: duplicates, pointers where values were, unknown tags.
        static constexpr std::array<quint16, 10> kTags{0,      2,      4,      6,      0x8769,
                                                       0x8825, 0xa005, 0x927c, 0x0201, 0xffff};
        const quint16 tag = entry.gps && random.chance(50) ? quint16(random.below(32))
                                                           : kTags[std::size_t(random.below(10))];
        write(bytes, entry.at, 2, tag);
        return QStringLiteral("%1-tag@%2=%3").arg(name).arg(entry.at.position).arg(tag);
    }
    // A GPS value: zero or huge numerators and denominators, unknown reference letters.
    const quint32 count = read(bytes, offsetBy(entry.at, 4), 4);
    const quint32 type = read(bytes, offsetBy(entry.at, 2), 2);
    const bool rational = type == 5 || type == 10;
    Field value = offsetBy(entry.at, 8);
    if (rational && count > 0 && count < 64) {
        const quint32 offset = read(bytes, value, 4);
        value = {entry.base + qsizetype(offset) + random.below(qsizetype(count) * 2) * 4,
                 entry.at.bigEndian};
        if (value.position + 4 > bytes.size())
            return QStringLiteral("gps-value-outside");
    }
    static constexpr std::array<quint32, 6> kValues{0, 1, 0xffffffff, 0x80000000, 'X', 60};
    const quint32 newValue = kValues[std::size_t(random.below(kValues.size()))];
    write(bytes, value, rational ? 4 : 1, newValue);
    return QStringLiteral("gps-value@%1=%2").arg(value.position).arg(newValue);
}

QString damageAnyEntry(QByteArray& bytes, const TiffMap& map, Random& random) {
    const Entry* entry = pickEntry(map, random, false);
    return entry ? damageEntry(bytes, *entry, random, QStringLiteral("ifd"))
                 : flipBits(bytes, map, random);
}

QString damageGpsEntry(QByteArray& bytes, const TiffMap& map, Random& random) {
    const Entry* entry = pickEntry(map, random, true);
    return entry ? damageEntry(bytes, *entry, random, QStringLiteral("gps"))
                 : damageAnyEntry(bytes, map, random);
}

QString damageDirectory(QByteArray& bytes, const TiffMap& map, Random& random) {
    const bool size = random.chance(60);
    const auto& fields = size ? map.directorySizes : map.nextLinks;
    if (fields.empty())
        return flipBits(bytes, map, random);
    const Field field = fields[std::size_t(random.below(qsizetype(fields.size())))];
    const int width = size ? 2 : 4;
    const quint32 value = edgeValue(random, read(bytes, field, width), bytes.size());
    write(bytes, field, width, value);
    return QStringLiteral("%1@%2=%3")
        .arg(size ? QStringLiteral("ifd-size") : QStringLiteral("ifd-next"))
        .arg(field.position)
        .arg(width == 2 ? value & 0xffff : value);
}

struct WeightedStep {
    Step step;
    int weight;
};

// Half of all mutations aim at the TIFF structures, a quarter of those at the GPS directory.
constexpr std::array<WeightedStep, 8> kSteps{{{flipBits, 16},
                                              {setBytes, 8},
                                              {truncate, 10},
                                              {insertBytes, 8},
                                              {removeBytes, 8},
                                              {damageAnyEntry, 20},
                                              {damageGpsEntry, 20},
                                              {damageDirectory, 10}}};

Step pickStep(Random& random) {
    int total = 0;
    for (const auto& step : kSteps)
        total += step.weight;
    qsizetype roll = random.below(total);
    for (const auto& step : kSteps) {
        if (roll < step.weight)
            return step.step;
        roll -= step.weight;
    }
    return flipBits;
}

} // namespace

TiffMap mapTiff(const QByteArray& bytes) {
    TiffMap map;
    Walker walker(bytes, map);
    // A TIFF-based file itself (TIFF, DNG, NEF, ORF's and RW2's own magic numbers included).
    if (bytes.size() >= 8 && (bytes[0] == 'I' || bytes[0] == 'M') && bytes[1] == bytes[0])
        walker.walk(0);
    // Blocks inside other containers: after "Exif\0\0" (JPEG, HEIF, EXV), as PNG's eXIf chunk,
    // after the type and size of WebP's EXIF chunk or of MRW's TTW block.
    const qsizetype limit = std::min(bytes.size(), kSearchLimit);
    const std::pair<QByteArray, qsizetype> markers[] = {{QByteArray("Exif\0\0", 6), 6},
                                                        {QByteArray("eXIf"), 4},
                                                        {QByteArray("EXIF"), 8},
                                                        {QByteArray("\0TTW", 4), 8}};
    for (const auto& [marker, skip] : markers) {
        for (qsizetype at = bytes.indexOf(marker); at >= 0 && at < limit;
             at = bytes.indexOf(marker, at + 1)) {
            const qsizetype base = at + skip;
            if (tiffHeaderAt(bytes, base) &&
                std::find(map.bases.begin(), map.bases.end(), base) == map.bases.end())
                walker.walk(base);
        }
    }
    return map;
}

Mutant mutate(const QByteArray& seed, const TiffMap& map, std::uint64_t roundSeed,
              std::uint64_t input) {
    Random random(roundSeed * 0x100000001b3ull ^ (input + 1) * 0x9e3779b97f4a7c15ull);
    Mutant mutant{seed, {}};
    const int steps = random.chance(60) ? 1 : int(random.below(2)) + 2;
    QStringList applied;
    for (int i = 0; i < steps && !mutant.bytes.isEmpty(); ++i)
        applied.append(pickStep(random)(mutant.bytes, map, random));
    mutant.description = applied.join(u' ');
    return mutant;
}

} // namespace fuzz
