#pragma once
// The metadata codec: every read and write of photo metadata goes through this interface.
// Members keep the names and results of the component the program was designed around,
// so the writer, the export and start-up read as they always have.

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <functional>
#include <memory>
#include <stdexcept>
#include <variant>
#include <vector>

namespace codec {

// The ProgID the program asks for; the factory refuses any other.
inline constexpr auto kProgId = "Quorel.cQuorel";

// Directory number of the GPS IFD, the only one the program uses.
inline constexpr int kGpsDirectory = 3;

// EXIF data types used by AddTag.
enum ExifType : int { Byte = 1, Ascii = 2, Rational = 5 };

// OpenFile results. 0 and 6 mean opened; everything else is a failure and leaves no photo open.
enum OpenResult : qint32 {
    Opened = 0,
    FileMissing = 1,        // no such file (or an empty path)
    NotAFile = 2,           // a folder or something else that is not a regular file
    TooLarge = 3,           // larger than the codec accepts (2 GiB)
    UnknownType = 4,        // empty, or content of no photo kind the codec reads (video, ...)
    DamagedMetadata = 5,    // the metadata cannot be parsed at all (cut inside a block, ...)
    OpenedWithWarnings = 6, // opened; the codec noted problems with parts of the metadata
    PartlyUnreadable = 7,   // forWriting refused: a rewrite would silently drop unread tags
    ReadError = 8,          // the file could not be read
};

inline bool isOpened(qint32 result) {
    return result == Opened || result == OpenedWithWarnings;
}

// The value of AddTag: bytes (type 1), a text whose closing NUL the count includes (type 2; the
// text may carry the NUL or not: "N" and "N\0" both go with count 2), or numerator/denominator
// pairs (type 5, unsigned values, denominators above 0).
using TagValue = std::variant<QByteArray, QString, std::vector<qint32>>;

// Thrown only by stand-ins for a component that raises (tests); the Exiv2 codec never throws.
class CodecCallError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A copy whose new metadata is made and checked, waiting to be written (ICodec::PrepareSave).
// Holds the photo it was made from, and nothing of the codec, so it may be committed on another
// thread than the one that prepared it, while the codec opens the next photo.
class PreparedSave {
public:
    virtual ~PreparedSave() = default;
    // Does now, on this thread, what commit() would check before writing, so that commit() has
    // only the file left to write. Optional: commit() does whatever is left.
    virtual void check() {}
    // Writes the copy and gives it the destination's name, with every promise of SaveToJPEG.
    // The reason it failed (as LastError gives it); empty when the copy is in place. Once only.
    virtual QString commit() = 0;
};

// One photo at a time: every query and AddTag refers to the photo opened last.
//  - OpenFile(path, readMakerNote, forWriting): forWriting clears the photo's GPS directory (no
//    stale tag survives beside the new position) and refuses photos whose metadata could only be
//    partly read; readMakerNote False then leaves the maker note out of the written copy.
//  - TagValueString / TagValueLabel: empty for a tag the photo does not hold (or holds malformed).
//  - AddTag: sets one tag in the GPS directory (3); a refused AddTag makes the next save fail.
//  - SaveToJPEG(dest): writes a new file at dest (replacing one there) in the photo's own format,
//    with the permission bits cp would give it; never writes the source, never leaves a partial
//    file, and reads every tag back (not only the GPS ones) before the file takes the name dest.
//    The XMP GPS properties of the photo are left out, so the copy holds one position. Needs an
//    open forWriting.
class ICodec {
public:
    virtual ~ICodec() = default;

    virtual qint32 OpenFile(const QString& path, bool readMakerNote, bool forWriting) = 0;
    virtual bool IsTagExisted(int tag, int directory) const = 0;
    virtual QString TagValueString(int tag, int directory) const = 0;
    virtual QString TagValueLabel(int tag, int directory) const = 0;
    // Signed decimal degrees, south and west negative. False (both left at 0) when the photo
    // holds no valid position.
    virtual bool GetGpsCoordinate(double& latitude, double& longitude) const = 0;
    virtual bool AddTag(int tag, int directory, int type, qint16 count, const TagValue& value,
                        bool flag) = 0;
    virtual bool SaveToJPEG(const QString& destination) = 0;

    // Why the last OpenFile or SaveToJPEG failed, as a short Chinese reason for the photo's row
    // ("不是支持的照片格式", "磁盘空间不足", "此格式不支持写入（ARW）"); empty after one that
    // worked, and from a codec that cannot tell.
    virtual QString LastError() const { return {}; }

    // SaveToJPEG in two steps, so that a batch can prepare the next photo while this one's image
    // data is copied: everything that reads and encodes metadata happens here; the file is
    // written by the result's commit(). The photo goes with the result (queries and AddTag find
    // no photo afterwards). Empty, with the photo kept for SaveToJPEG, when this photo (or this
    // codec) saves in one step only.
    virtual std::unique_ptr<PreparedSave> PrepareSave(const QString& /*destination*/) {
        return nullptr;
    }
};

// The system's reason for an errno value, in the words a user reads ("磁盘空间不足",
// "没有权限"); the C library's text for the rare ones.
QString systemErrorText(int error);

// Creates codec objects by ProgID; an empty result means the component could not be created.
struct CodecFactory {
    std::function<std::unique_ptr<ICodec>(QStringView progId)> create;
};

// The factory of the Exiv2 codec.
CodecFactory defaultCodecFactory();

} // namespace codec
