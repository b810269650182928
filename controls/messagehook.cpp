#include "controls/messagehook.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <algorithm>

namespace {

// viewportEvent() is protected; the scroll area's own viewport filter calls it the same way.
struct ScrollAreaAccess : QAbstractScrollArea {
    using QAbstractScrollArea::viewportEvent;
};

} // namespace

MessageHook::MessageHook(Callback callback, QObject* parent)
    : QObject(parent), m_callback(std::move(callback)) {}

MessageHook::~MessageHook() {
    unhookAll();
}

void MessageHook::hookWindow(QObject* target) {
    if (!target || find(target))
        return;
    // Reuse a free entry, searching from the last one down.
    auto freeEntry = std::find_if(m_entries.rbegin(), m_entries.rend(),
                                  [](const Entry& e) { return e.target.isNull(); });
    if (freeEntry != m_entries.rend())
        *freeEntry = Entry{target, {}, {}};
    else
        m_entries.push_back(Entry{target, {}, {}});
    target->installEventFilter(this);
}

bool MessageHook::addHookMessage(QObject* target, int eventType, int when) {
    Entry* entry = find(target);
    if (!entry)
        return false;
    auto add = [eventType](std::vector<int>& list) {
        if (eventType == kAllEvents)
            list.assign(1, kAllEvents);
        else if (!listed(list, eventType))
            list.push_back(eventType);
    };
    if (when & Before)
        add(entry->before);
    if (when & After)
        add(entry->after);
    return true;
}

void MessageHook::unhookWindow(QObject* target) {
    Entry* entry = find(target);
    if (!entry)
        return;
    target->removeEventFilter(this);
    *entry = Entry{};
}

void MessageHook::unhookAll() {
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->target)
            it->target->removeEventFilter(this);
        *it = Entry{};
    }
}

bool MessageHook::isHooked(const QObject* target) const {
    return find(target) != nullptr;
}

MessageHook::Entry* MessageHook::find(const QObject* target) {
    if (!target)
        return nullptr;
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [target](const Entry& e) { return e.target == target; });
    return it == m_entries.end() ? nullptr : &*it;
}

const MessageHook::Entry* MessageHook::find(const QObject* target) const {
    return const_cast<MessageHook*>(this)->find(target);
}

bool MessageHook::listed(const std::vector<int>& list, int type) {
    return std::find(list.begin(), list.end(), type) != list.end() ||
           (!list.empty() && list.front() == kAllEvents);
}

bool MessageHook::dispatch(QObject* target, QEvent* event) {
    if (target->isWidgetType()) {
        auto* area = qobject_cast<QAbstractScrollArea*>(target->parent());
        if (area && area->viewport() == target) {
            auto viewportEvent = &ScrollAreaAccess::viewportEvent;
            return (area->*viewportEvent)(event);
        }
    }
    return target->event(event);
}

bool MessageHook::eventFilter(QObject* watched, QEvent* event) {
    const Entry* entry = find(watched);
    if (!entry || !m_callback)
        return false;
    const int type = static_cast<int>(event->type());
    const bool before = listed(entry->before, type);
    const bool after = listed(entry->after, type);
    if (!before && !after)
        return false;

    // The callback may unhook or destroy the target; keep watching it through a guard.
    const QPointer<QObject> guard(watched);
    if (before) {
        bool handled = false;
        bool result = event->isAccepted();
        m_callback(true, handled, result, watched, event);
        if (handled) {
            event->setAccepted(result);
            return true;
        }
        if (!guard || !after || !find(watched) || !listed(find(watched)->after, type))
            return false;
    }

    dispatch(watched, event);
    if (!guard || !find(watched))
        return true;
    bool handled = false;
    bool result = event->isAccepted();
    m_callback(false, handled, result, watched, event);
    event->setAccepted(result);
    return true;
}
