#pragma once
// The codec over Exiv2. Reads the photo kinds of filekind.h, told by content; writes new files
// only for the formats Exiv2 writes faithfully (see writableFormat), never touching the source.

#include "codec/codec.h"

#include <memory>
#include <vector>

namespace codec {

// Photos above this size are refused (TooLarge): TIFF offsets are 32-bit, and no camera file
// comes near it.
inline constexpr qint64 kMaxPhotoBytes = qint64(2) * 1024 * 1024 * 1024;

class Exiv2Codec final : public ICodec {
public:
    Exiv2Codec();
    ~Exiv2Codec() override;

    qint32 OpenFile(const QString& path, bool readMakerNote, bool forWriting) override;
    bool IsTagExisted(int tag, int directory) const override;
    QString TagValueString(int tag, int directory) const override;
    QString TagValueLabel(int tag, int directory) const override;
    bool GetGpsCoordinate(double& latitude, double& longitude) const override;
    bool AddTag(int tag, int directory, int type, qint16 count, const TagValue& value,
                bool flag) override;
    bool SaveToJPEG(const QString& destination) override;
    QString LastError() const override;

private:
    struct Photo;

    qint32 open(const QString& path, bool readMakerNote, bool forWriting);
    qint32 failed(qint32 result, const QString& reason);
    static bool decodeJpegExif(Photo& photo);
    qint32 readWithExiv2(Photo& photo);
    bool addTag(int tag, int type, qint16 count, const TagValue& value);
    // The reason the save failed; empty when the copy is in place.
    QString save(const QString& destination);

    std::unique_ptr<Photo> m_photo; // the photo opened last; empty after a failed open
    std::vector<char> m_copyBuffer; // reused by every save of the batch
    QString m_lastError;
};

// Whether a photo of Exiv2 image type imageType named with suffix (lower case, no dot) may be
// written: JPEG, TIFF, DNG, NEF, PEF, SRW, CR2 and Exiv2's own EXIF templates.
bool writableFormat(int imageType, const QString& suffix);

} // namespace codec
