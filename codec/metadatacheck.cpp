#include "metadatacheck.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace codec::detail {

namespace {

// Exiv2 keeps its directory numbers internal: the ones compared here are learnt from keys once.
struct Directories {
    int image;
    int photo;
    int makerNote;
    std::uint16_t makerNoteOffset;
};

const Directories& directories() {
    static const Directories ids{
        Exiv2::ExifKey("Exif.Image.ImageWidth").ifdId(),
        Exiv2::ExifKey("Exif.Photo.ExposureTime").ifdId(),
        Exiv2::ExifKey("Exif.MakerNote.Offset").ifdId(),
        Exiv2::ExifKey("Exif.MakerNote.Offset").tag(),
    };
    return ids;
}

// Whether the entry sits in a directory of a camera maker's, asked of Exiv2 (by the directory's
// name, a new string each time) once per directory and thread.
bool inMakerDirectory(const Exiv2::Exifdatum& datum) {
    thread_local std::unordered_map<int, bool> known;
    const int id = datum.ifdId();
    auto found = known.find(id);
    if (found == known.end())
        found = known.emplace(id, Exiv2::ExifTags::isMakerGroup(datum.groupName())).first;
    return found->second;
}

// Pointers to directories: a rewrite moves the directories and may add or drop a pointer (a
// GPS directory that is new), while the directories' own entries are compared one by one.
bool isDirectoryPointer(const Exiv2::Exifdatum& datum) {
    const bool inMakerNote = datum.ifdId() == directories().makerNote;
    switch (datum.tag()) {
    case 0x8769: // ExifTag
    case 0x8825: // GPSTag
    case 0xa005: // InteroperabilityTag
    case 0x014a: // SubIFDs
        return !inMakerNote;
    default:
        return inMakerNote && datum.tag() == directories().makerNoteOffset;
    }
}

// Offsets of blocks (image strips, thumbnails): they move too, but the block must come along,
// as the entry's data area where Exiv2 keeps one.
bool isBlockOffset(const Exiv2::Exifdatum& datum) {
    return datum.tag() == 0x0111 || datum.tag() == 0x0144 || datum.tag() == 0x0201; // Strip-,
    // TileOffsets, JPEGInterchangeFormat
}

// The XMP packet inside a TIFF; compared as XMP, since removing its GPS properties changes it.
bool isXmpPacket(const Exiv2::Exifdatum& datum) {
    return datum.tag() == 0x02bc && datum.ifdId() == directories().image;
}

bool isMakerNoteBlock(const Exiv2::Exifdatum& datum) {
    return datum.tag() == 0x927c && datum.ifdId() == directories().photo;
}

// Directory and tag number stand for the key ("Exif.Photo.ExposureTime"), which names them.
using Signature = std::tuple<int, std::uint16_t, int, long, std::string, std::string>;

std::string bytesOf(const Exiv2::Exifdatum& datum) {
    std::string bytes(std::size_t(datum.size()), '\0');
    if (!bytes.empty())
        datum.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), Exiv2::littleEndian);
    return bytes;
}

std::string dataAreaOf(const Exiv2::Exifdatum& datum) {
    const Exiv2::DataBuf area = datum.dataArea();
    return area.size_ > 0
               ? std::string(reinterpret_cast<const char*>(area.pData_), std::size_t(area.size_))
               : std::string();
}

std::vector<Signature> signatures(const Exiv2::ExifData& exif) {
    // A maker note Exiv2 understands is compared entry by entry; its bytes hold offsets that a
    // rewrite moves. One it does not understand is compared as bytes.
    const bool makerNoteDecoded = std::any_of(exif.begin(), exif.end(), inMakerDirectory);
    std::vector<Signature> result;
    result.reserve(exif.count());
    for (const auto& datum : exif) {
        if (isXmpPacket(datum) || isDirectoryPointer(datum))
            continue;
        const bool offset = isBlockOffset(datum) || (makerNoteDecoded && isMakerNoteBlock(datum));
        result.emplace_back(datum.ifdId(), datum.tag(), offset ? 0 : int(datum.typeId()),
                            offset ? 0 : datum.count(), offset ? std::string() : bytesOf(datum),
                            dataAreaOf(datum));
    }
    std::sort(result.begin(), result.end());
    return result;
}

template <typename Data>
std::vector<std::pair<std::string, std::string>> textsOf(const Data& data) {
    std::vector<std::pair<std::string, std::string>> result;
    for (const auto& datum : data)
        result.emplace_back(datum.key(), datum.toString());
    std::sort(result.begin(), result.end());
    return result;
}

} // namespace

bool sameExif(const Exiv2::ExifData& expected, const Exiv2::ExifData& actual) {
    return signatures(expected) == signatures(actual);
}

bool sameXmp(const Exiv2::XmpData& expected, const Exiv2::XmpData& actual) {
    return textsOf(expected) == textsOf(actual);
}

bool sameIptc(const Exiv2::IptcData& expected, const Exiv2::IptcData& actual) {
    return textsOf(expected) == textsOf(actual);
}

bool eraseXmpGps(Exiv2::XmpData& xmp) {
    bool erased = false;
    for (auto it = xmp.begin(); it != xmp.end();) {
        if (it->groupName() == "exif" && it->tagName().rfind("GPS", 0) == 0) {
            it = xmp.erase(it);
            erased = true;
        } else {
            ++it;
        }
    }
    return erased;
}

} // namespace codec::detail
