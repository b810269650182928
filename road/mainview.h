#pragma once
// What the roads may do to the main window, and the context they run in. The window implements
// IMainView; silent mode and tests implement it without widgets.

#include "base/messages.h"
#include "road/appstate.h"

class PhotoList;
struct GpsLogState;

// The window's controls that the roads enable, disable or focus; named as on the window.
enum class Control {
    cboAction,
    cmdOpenLog,
    cmdToggle,
    cmdStart,
    chkMakerNote,
    cmdOpenEx,
    cmdOpenFolder,
    cmdClear,
    cmdOptions,
    cmdExport,
};

class IMainView : public IMessageSink, public IProgress {
public:
    virtual void setEnabled(Control control, bool enabled) = 0;
    virtual void setFocus(Control control) = 0;
    // The tips label of the import group ("正在处理 3/10 ...").
    virtual void setTips(const QString& text) = 0;
    // The invalid-data indicator: shown, it hides the tips label; hidden, the tips label returns.
    virtual void setInvalidDataShown(bool shown) = 0;
    virtual void setBusyCursor(bool busy) = 0;
    // Selects row i and scrolls it into view, as a batch does for the row in hand.
    virtual void showRow(int i) = 0;
    // The state of "忽略厂商注释数据", read afresh for every photo the writer opens.
    virtual bool skipMakerNote() const = 0;
    // The action box: 0 import, 1 export.
    virtual int action() const = 0;
    // Switches the action box as if the user had chosen index (the list is emptied when it
    // changes). Views without an action box (silent mode) have nothing to switch.
    virtual void setAction(int /*index*/) {}
    // In silent mode the batch closes the window at its end.
    virtual void closeWindow() = 0;
};

struct RoadContext {
    PhotoList& list;
    GpsLogState& log;
    AppState& app;
    IMainView& view;
};
