#pragma once
// What a file is, told from its first bytes alone. The codec hands a file to a metadata reader
// only when its content is one of the photo kinds below: Exiv2's readers for other kinds (video
// above all) are not made for hostile input, and a video named .jpg is no photo anyway.

#include <QByteArray>
#include <QString>

namespace codec::detail {

enum class FileKind {
    Unknown, // none of the kinds below
    Jpeg,    // FF D8 FF
    Tiff,    // TIFF and the TIFF-based RAW kinds (DNG, NEF, CR2, ARW, PEF, SRW, ...)
    Orf,     // Olympus RAW: a TIFF with its own magic number
    Rw2,     // Panasonic RAW: likewise
    Crw,     // Canon CIFF
    Raf,     // Fujifilm RAW
    Mrw,     // Minolta RAW
    Png,
    WebP,
    Exv,     // Exiv2's EXIF template
    Heif,    // ISO base media files of still images: HEIF and HEIC,
    Avif,    // AVIF
    Cr3,     // and Canon CR3
    Video,   // QuickTime, MP4 and other ISO media, AVI, Matroska: never read
    BigTiff, // TIFF with 64-bit offsets, which Exiv2 cannot read
};

// Bytes of the head that sniffFileKind looks at, at most; fewer when the file is shorter.
inline constexpr int kSniffBytes = 64;

FileKind sniffFileKind(const QByteArray& head);

// Whether the codec reads files of this kind at all.
bool isPhotoKind(FileKind kind);

// The name a user knows the kind by ("JPEG", "PNG", "HEIF"); empty for Unknown.
QString kindName(FileKind kind);

} // namespace codec::detail
