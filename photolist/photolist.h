#pragma once
// The photo list: one record and one displayed row per photo, appended one at a time and removed
// all together. The window's list view mirrors it through the signals; the roads change rows only
// through this class, so the core and the window can never disagree.

#include "photolist/gpslogrecord.h"

#include <QObject>
#include <QString>
#include <array>
#include <vector>

enum class RowIcon : int { New = 0, Working = 1, Done = 2, Failed = 3 };

enum Column : int {
    ColFileName = 0,
    ColLatitude,
    ColLongitude,
    ColAltitude,
    ColStatus,
    ColumnCount
};

namespace status {
inline const QString kToRead = QStringLiteral("待读取");
inline const QString kPending = QStringLiteral("待处理");
inline const QString kNotFound = QStringLiteral("未找到文件");
inline const QString kWorking = QStringLiteral("正在处理...");
inline const QString kWritten = QStringLiteral("处理成功！");
inline const QString kRead = QStringLiteral("已读出");
inline const QString kSkipped = QStringLiteral("跳过");
inline const QString kMissing = QStringLiteral("文件不存在！");
inline const QString kOpenFailed = QStringLiteral("打开失败！"); // followed by the codec's result
inline const QString kSaveFailed = QStringLiteral("保存失败！");
inline const QString kReadOpenFailed = QStringLiteral("打开文件失败！");
inline const QString kNoGps = QStringLiteral("无 GPS 数据");
} // namespace status

struct PhotoRow {
    GpsLogRecord record;
    std::array<QString, ColumnCount> texts;
    RowIcon icon = RowIcon::New;
    bool ghosted = false;
};

class PhotoList : public QObject {
    Q_OBJECT
public:
    // Row indices are 16-bit: the list holds at most this many rows.
    static constexpr int kMaxRows = 32767;

    using QObject::QObject;

    int count() const { return static_cast<int>(m_rows.size()); }
    bool isFull() const { return count() >= kMaxRows; }
    const PhotoRow& row(int i) const { return m_rows.at(static_cast<size_t>(i)); }
    const GpsLogRecord& record(int i) const { return row(i).record; }

    // Appends a row; its tag is its index. -1 when the list is full.
    int append(PhotoRow row);
    // Room for so many more rows (up to the limit), made at once.
    void reserve(qsizetype more);
    void clear();

    void setRecord(int i, const GpsLogRecord& record);
    void setText(int i, int column, const QString& text);
    void setIcon(int i, RowIcon icon);
    void setGhosted(int i, bool ghosted);
    // Status text and icon together, as every batch step sets them.
    void setStatus(int i, const QString& text, RowIcon icon);

signals:
    void rowAppended(int index);
    void rowChanged(int index);
    void cleared();

private:
    PhotoRow& mutableRow(int i) { return m_rows.at(static_cast<size_t>(i)); }

    std::vector<PhotoRow> m_rows;
};
