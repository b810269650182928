#pragma once
// A scripted stand-in for the codec: per-path open results, tags to report, and a record of every
// call, so the roads can be tested without photos.

#include "codec/codec.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <memory>
#include <optional>

struct FakePhoto {
    qint32 openResult = codec::Opened;
    QHash<int, QString> strings; // TagValueString by tag
    QHash<int, QString> labels;  // TagValueLabel by tag
    std::optional<std::pair<double, double>> position;
    bool saveResult = true;
    QString lastError; // the codec's reason after a failed open or save
};

struct AddedTag {
    int tag;
    int type;
    qint16 count;
    codec::TagValue value;
};

// What every FakeCodec made by one FakeCodecWorld saw and did; shared so a test can inspect it
// after the road has released its codec.
struct FakeCodecWorld {
    QHash<QString, FakePhoto> photos; // by path; a path not listed opens as FileMissing
    QStringList calls;                // "OpenFile path 1 1", "AddTag 2", "SaveToJPEG dest", ...
    QList<QList<AddedTag>> addedPerOpen;
    QStringList saved;
    QString throwOnCall;              // member name that raises CodecCallError
    int created = 0;
    bool failCreation = false;

    codec::CodecFactory factory();
};

class FakeCodec : public codec::ICodec {
public:
    explicit FakeCodec(FakeCodecWorld& world) : m_world(world) {}

    qint32 OpenFile(const QString& path, bool readMakerNote, bool forWriting) override {
        record(QStringLiteral("OpenFile %1 %2 %3").arg(path).arg(int(readMakerNote)).arg(int(forWriting)),
               QStringLiteral("OpenFile"));
        m_current = m_world.photos.contains(path) ? &m_world.photos[path] : nullptr;
        m_world.addedPerOpen.append(QList<AddedTag>{});
        return m_current ? m_current->openResult : qint32(codec::FileMissing);
    }
    bool IsTagExisted(int tag, int) const override {
        record(QStringLiteral("IsTagExisted %1").arg(tag), QStringLiteral("IsTagExisted"));
        return m_current && (m_current->strings.contains(tag) || m_current->labels.contains(tag));
    }
    QString TagValueString(int tag, int) const override {
        record(QStringLiteral("TagValueString %1").arg(tag), QStringLiteral("TagValueString"));
        return m_current ? m_current->strings.value(tag) : QString();
    }
    QString TagValueLabel(int tag, int) const override {
        record(QStringLiteral("TagValueLabel %1").arg(tag), QStringLiteral("TagValueLabel"));
        return m_current ? m_current->labels.value(tag) : QString();
    }
    bool GetGpsCoordinate(double& latitude, double& longitude) const override {
        record(QStringLiteral("GetGpsCoordinate"), QStringLiteral("GetGpsCoordinate"));
        if (!m_current || !m_current->position) {
            latitude = longitude = 0;
            return false;
        }
        latitude = m_current->position->first;
        longitude = m_current->position->second;
        return true;
    }
    bool AddTag(int tag, int directory, int type, qint16 count, const codec::TagValue& value,
                bool) override {
        record(QStringLiteral("AddTag %1").arg(tag), QStringLiteral("AddTag"));
        if (directory != codec::kGpsDirectory || m_world.addedPerOpen.isEmpty())
            return false;
        m_world.addedPerOpen.last().append({tag, type, count, value});
        return true;
    }
    bool SaveToJPEG(const QString& destination) override {
        record(QStringLiteral("SaveToJPEG %1").arg(destination), QStringLiteral("SaveToJPEG"));
        if (!m_current || !m_current->saveResult)
            return false;
        m_world.saved.append(destination);
        return true;
    }

    QString LastError() const override { return m_current ? m_current->lastError : QString(); }

private:
    void record(const QString& call, const QString& member) const {
        m_world.calls.append(call);
        if (m_world.throwOnCall == member)
            throw codec::CodecCallError(member.toStdString());
    }

    FakeCodecWorld& m_world;
    FakePhoto* m_current = nullptr;
};

inline codec::CodecFactory FakeCodecWorld::factory() {
    return {[this](QStringView progId) -> std::unique_ptr<codec::ICodec> {
        if (failCreation || progId != QLatin1String(codec::kProgId))
            return nullptr;
        ++created;
        return std::make_unique<FakeCodec>(*this);
    }};
}
