#include "filekind.h"

#include <array>
#include <cstring>
#include <string_view>

namespace codec::detail {

namespace {

using namespace std::string_view_literals;

bool startsWith(const QByteArray& head, std::string_view magic, int at = 0) {
    return head.size() >= at + qsizetype(magic.size()) &&
           std::memcmp(head.constData() + at, magic.data(), magic.size()) == 0;
}

// Brands of the ISO base media format under which a file holds still images: HEIF and HEIC
// (ISO/IEC 23008-12), AVIF, and Canon's CR3. Everything else with an 'ftyp' box (isom, mp41,
// mp42, qt, 3gp4, M4V, ...) is a video.
bool isStillImageBrand(std::string_view brand) {
    static constexpr std::array<std::string_view, 11> kBrands{
        "heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis", "crx "};
    for (const std::string_view known : kBrands) {
        if (brand == known)
            return true;
    }
    return false;
}

// QuickTime files older than 'ftyp' start with one of these atoms.
bool isQuickTimeAtom(const QByteArray& head) {
    for (const std::string_view atom : {"moov", "mdat", "wide", "free", "skip", "pnot", "uuid"}) {
        if (startsWith(head, atom, 4))
            return true;
    }
    return false;
}

FileKind tiffKind(const QByteArray& head) {
    if (startsWith(head, "II*\0"sv) || startsWith(head, "MM\0*"sv))
        return FileKind::Tiff;
    if (startsWith(head, "IIRO") || startsWith(head, "IIRS") || startsWith(head, "MMOR"))
        return FileKind::Orf;
    if (startsWith(head, "IIU\0"sv))
        return FileKind::Rw2;
    if (startsWith(head, "II+\0"sv) || startsWith(head, "MM\0+"sv))
        return FileKind::BigTiff;
    return FileKind::Unknown;
}

} // namespace

FileKind sniffFileKind(const QByteArray& head) {
    if (startsWith(head, "\xff\xd8\xff"))
        return FileKind::Jpeg;
    if (startsWith(head, "HEAPCCDR", 6) && (startsWith(head, "II") || startsWith(head, "MM")))
        return FileKind::Crw;
    if (const FileKind tiff = tiffKind(head); tiff != FileKind::Unknown)
        return tiff;
    if (startsWith(head, "FUJIFILMCCD-RAW "))
        return FileKind::Raf;
    if (startsWith(head, "\0MRM"sv))
        return FileKind::Mrw;
    if (startsWith(head, "\x89PNG\r\n\x1a\n"))
        return FileKind::Png;
    if (startsWith(head, "RIFF") && startsWith(head, "WEBP", 8))
        return FileKind::WebP;
    if (startsWith(head, "\xff\x01"
                         "Exiv2"))
        return FileKind::Exv;
    if (startsWith(head, "ftyp", 4)) {
        // The major brand decides: a video may list an image brand among its compatible ones.
        const std::string_view brand(head.constData() + 8, head.size() >= 12 ? 4 : 0);
        if (!isStillImageBrand(brand))
            return FileKind::Video;
        if (brand == "crx ")
            return FileKind::Cr3;
        return brand.substr(0, 3) == "avi" ? FileKind::Avif : FileKind::Heif;
    }
    if (isQuickTimeAtom(head) || (startsWith(head, "RIFF") && startsWith(head, "AVI ", 8)) ||
        startsWith(head, "\x1a\x45\xdf\xa3"))
        return FileKind::Video;
    return FileKind::Unknown;
}

bool isPhotoKind(FileKind kind) {
    switch (kind) {
    case FileKind::Unknown:
    case FileKind::Video:
    case FileKind::BigTiff:
        return false;
    default:
        return true;
    }
}

QString kindName(FileKind kind) {
    switch (kind) {
    case FileKind::Jpeg:
        return QStringLiteral("JPEG");
    case FileKind::Tiff:
        return QStringLiteral("TIFF");
    case FileKind::BigTiff:
        return QStringLiteral("BigTIFF");
    case FileKind::Orf:
        return QStringLiteral("ORF");
    case FileKind::Rw2:
        return QStringLiteral("RW2");
    case FileKind::Crw:
        return QStringLiteral("CRW");
    case FileKind::Raf:
        return QStringLiteral("RAF");
    case FileKind::Mrw:
        return QStringLiteral("MRW");
    case FileKind::Png:
        return QStringLiteral("PNG");
    case FileKind::WebP:
        return QStringLiteral("WebP");
    case FileKind::Exv:
        return QStringLiteral("EXV");
    case FileKind::Heif:
        return QStringLiteral("HEIF");
    case FileKind::Avif:
        return QStringLiteral("AVIF");
    case FileKind::Cr3:
        return QStringLiteral("CR3");
    case FileKind::Video:
        return QStringLiteral("视频");
    case FileKind::Unknown:
        break;
    }
    return {};
}

} // namespace codec::detail
