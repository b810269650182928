#pragma once
// MessageHook: lets a component watch chosen events of other objects before and/or after those
// objects handle them, through Qt's event filters.
//
// Each hooked object has a before list and an after list of event types (QEvent::Type values);
// kAllEvents (-1) in a list stands for every event. For an event in the before list the callback
// runs with before = true; setting handled there keeps the event from the object and from the
// after call. Otherwise the object handles the event and, when the type is in the after list, the
// callback runs again with before = false. `result` is the event's accepted flag as it stands
// (after the object's handling for the after call); whatever the callback leaves in it is written
// back, which decides whether a key or mouse event still travels on to the parent widget.
//
// For an after call the hook dispatches the event to the object itself (for a scroll area's
// viewport, to the area's viewportEvent()); filters installed on the object before the hook are
// then not consulted, so hook an object before installing other filters on it.

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class QEvent;

class MessageHook : public QObject {
    Q_OBJECT
public:
    static constexpr int kAllEvents = -1;
    enum When : int { Before = 1, After = 2, BeforeAndAfter = Before | After };

    using Callback = std::function<void(bool before, bool& handled, bool& result, QObject* target,
                                        QEvent* event)>;

    explicit MessageHook(Callback callback, QObject* parent = nullptr);
    ~MessageHook() override;

    // Starts watching `target` with empty lists. Hooking an object twice keeps one entry.
    void hookWindow(QObject* target);
    // Adds an event type to the before list (when & Before) and/or the after list (when & After)
    // of a hooked object. A type already listed is not added again; kAllEvents makes the list
    // match every event. False when `target` is not hooked.
    bool addHookMessage(QObject* target, int eventType, int when);
    // Stops every callback for `target`; its events reach it as if it was never hooked.
    void unhookWindow(QObject* target);
    void unhookAll();

    bool isHooked(const QObject* target) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QPointer<QObject> target;
        std::vector<int> before;
        std::vector<int> after;
    };

    Entry* find(const QObject* target);
    const Entry* find(const QObject* target) const;
    static bool listed(const std::vector<int>& list, int type);
    static bool dispatch(QObject* target, QEvent* event);

    Callback m_callback;
    std::vector<Entry> m_entries;
};
