#pragma once
// A window without widgets: records what the roads did to it.

#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"
#include "road/mainview.h"
#include "support/messagesink.h"

#include <QHash>
#include <QStringList>

class FakeView : public IMainView {
public:
    void message(const QString& title, const QString& text, MessageIcon icon) override {
        messages.append({title, text, icon});
    }
    void yield() override { ++yields; }
    void setEnabled(Control control, bool enabled) override { enabled_[control] = enabled; }
    void setFocus(Control control) override { focused = control; }
    void setTips(const QString& text) override { tips = text; }
    void setInvalidDataShown(bool shown) override { invalidShown = shown; }
    void setBusyCursor(bool busy) override { busyCursor = busy; }
    void showRow(int i) override { shownRows.append(i); }
    bool skipMakerNote() const override { return skipMaker; }
    int action() const override { return actionIndex; }
    void setAction(int index) override { actionIndex = index; }
    void closeWindow() override { closed = true; }

    bool isEnabled(Control control) const { return enabled_.value(control, true); }

    QList<RecordedMessage> messages;
    QHash<Control, bool> enabled_;
    std::optional<Control> focused;
    QString tips;
    bool invalidShown = false;
    bool busyCursor = false;
    QList<int> shownRows;
    bool skipMaker = false;
    int actionIndex = 0;
    bool closed = false;
    int yields = 0;
};

// A list, import state and application state wired to one FakeView.
struct FakeWindow {
    PhotoList list;
    GpsLogState log;
    AppState app;
    FakeView view;
    RoadContext context() { return {list, log, app, view}; }
};
