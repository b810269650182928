#pragma once
// A message sink that records what the roads said, for tests to check.

#include "base/messages.h"

#include <QList>

struct RecordedMessage {
    QString title;
    QString text;
    MessageIcon icon;
};

class RecordingSink : public IMessageSink {
public:
    void message(const QString& title, const QString& text, MessageIcon icon) override {
        messages.append({title, text, icon});
    }
    QList<RecordedMessage> messages;
};

class NoYield : public IProgress {
public:
    void yield() override {}
};
