#pragma once
// How the roads speak to the user. The core never shows anything itself: it hands each message to
// a sink, which the window turns into a message box, silent mode into standard error, and tests
// into a list.

#include <QString>

enum class MessageIcon { Error, Warning, Information };

namespace titles {
inline const QString kError = QStringLiteral("错误");
inline const QString kWarning = QStringLiteral("警告");
inline const QString kReminder = QStringLiteral("提醒");
inline const QString kNotice = QStringLiteral("提示");
} // namespace titles

// The codec could not be created or failed under a road: start-up and both batches say so alike.
inline const QString kCoreCallFailed =
    QStringLiteral("内核调用失败！请重新安装 Corvexa 元数据编辑器后重试！");

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual void message(const QString& title, const QString& text, MessageIcon icon) = 0;
};

// Lets the event loop run between rows; the window repaints there, silent mode does nothing.
class IProgress {
public:
    virtual ~IProgress() = default;
    virtual void yield() = 0;
};
