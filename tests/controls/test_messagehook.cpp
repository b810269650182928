// The message hook: before and after calls around the object's own handling, handled events,
// every-event lists, duplicates, unhooking, and the accepted flag as the result.

#include "controls/messagehook.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QTest>

namespace {

// A widget that logs what reaches its own handlers.
struct Target : QWidget {
    QStringList* log = nullptr;
    bool acceptKeys = true;
    void keyPressEvent(QKeyEvent* event) override {
        *log << QStringLiteral("own %1").arg(event->key());
        event->setAccepted(acceptKeys);
    }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User)
            *log << QStringLiteral("own user");
        return QWidget::event(event);
    }
};

struct Parent : QWidget {
    QStringList* log = nullptr;
    void keyPressEvent(QKeyEvent* event) override {
        *log << QStringLiteral("parent %1").arg(event->key());
    }
};

void sendKey(QWidget* to, int key = Qt::Key_A) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(to, &press);
}

} // namespace

class TestMessageHook : public QObject {
    Q_OBJECT
private slots:
    void callsAroundTheOwnHandling_data();
    void callsAroundTheOwnHandling();
    void everyEventAndDuplicates();
    void unhookStopsTheCallbacks();
    void resultDecidesPropagation();
    void scrollAreaViewportKeepsItsHandling();
};

void TestMessageHook::callsAroundTheOwnHandling_data() {
    QTest::addColumn<int>("when");
    QTest::addColumn<bool>("handleBefore");
    QTest::addColumn<QStringList>("expected");

    const QString key = QString::number(Qt::Key_A);
    QTest::newRow("before") << int(MessageHook::Before) << false
                            << QStringList{"before", "own " + key};
    QTest::newRow("after") << int(MessageHook::After) << false
                           << QStringList{"own " + key, "after"};
    QTest::newRow("both") << int(MessageHook::BeforeAndAfter) << false
                          << QStringList{"before", "own " + key, "after"};
    QTest::newRow("handled before: neither the object nor the after call")
        << int(MessageHook::BeforeAndAfter) << true << QStringList{"before"};
}

void TestMessageHook::callsAroundTheOwnHandling() {
    QFETCH(int, when);
    QFETCH(bool, handleBefore);
    QFETCH(QStringList, expected);

    QStringList log;
    Target target;
    target.log = &log;
    MessageHook hook([&](bool before, bool& handled, bool&, QObject* object, QEvent* event) {
        QCOMPARE(object, &target);
        QCOMPARE(event->type(), QEvent::KeyPress);
        log << (before ? "before" : "after");
        if (before)
            handled = handleBefore;
    });
    hook.hookWindow(&target);
    QVERIFY(hook.addHookMessage(&target, QEvent::KeyPress, when));
    QVERIFY(!hook.addHookMessage(this, QEvent::KeyPress, when)); // not hooked
    sendKey(&target);
    QCOMPARE(log, expected);
}

void TestMessageHook::everyEventAndDuplicates() {
    QStringList log;
    Target target;
    target.log = &log;
    int keyCalls = 0;
    int allCalls = 0;
    MessageHook hook([&](bool, bool&, bool&, QObject*, QEvent* event) {
        ++allCalls;
        if (event->type() == QEvent::KeyPress)
            ++keyCalls;
    });
    hook.hookWindow(&target);
    hook.hookWindow(&target); // one entry only
    hook.addHookMessage(&target, QEvent::KeyPress, MessageHook::After);
    hook.addHookMessage(&target, QEvent::KeyPress, MessageHook::After);
    sendKey(&target);
    QCOMPARE(keyCalls, 1);
    QCOMPARE(allCalls, 1);

    hook.addHookMessage(&target, MessageHook::kAllEvents, MessageHook::Before);
    QEvent user(QEvent::User);
    QApplication::sendEvent(&target, &user);
    QCOMPARE(allCalls, 2);
    QCOMPARE(log.last(), QStringLiteral("own user"));
    sendKey(&target);
    QCOMPARE(keyCalls, 3); // once before (every event), once after
}

void TestMessageHook::unhookStopsTheCallbacks() {
    QStringList log;
    Target first;
    Target second;
    first.log = &log;
    second.log = &log;
    int calls = 0;
    MessageHook hook([&](bool, bool& handled, bool&, QObject*, QEvent*) {
        ++calls;
        handled = true;
    });
    for (Target* t : {&first, &second}) {
        hook.hookWindow(t);
        hook.addHookMessage(t, QEvent::KeyPress, MessageHook::Before);
    }
    hook.unhookWindow(&first);
    QVERIFY(!hook.isHooked(&first));
    sendKey(&first);
    QCOMPARE(calls, 0);
    QCOMPARE(log, QStringList{QStringLiteral("own %1").arg(Qt::Key_A)});
    sendKey(&second);
    QCOMPARE(calls, 1);
    // A freed entry is used again.
    hook.hookWindow(&first);
    hook.addHookMessage(&first, QEvent::KeyPress, MessageHook::Before);
    sendKey(&first);
    QCOMPARE(calls, 2);
    hook.unhookAll();
    sendKey(&first);
    sendKey(&second);
    QCOMPARE(calls, 2);
}

void TestMessageHook::resultDecidesPropagation() {
    QStringList log;
    Parent parent;
    parent.log = &log;
    auto* target = new Target;
    target->setParent(&parent);
    target->log = &log;
    target->acceptKeys = false; // the object ignores the key: it would go on to the parent
    bool keep = false;
    MessageHook hook([&](bool before, bool&, bool& result, QObject*, QEvent*) {
        if (!before) {
            QVERIFY(!result);
            result = keep;
        }
    });
    hook.hookWindow(target);
    hook.addHookMessage(target, QEvent::KeyPress, MessageHook::After);

    // Propagation to the parent happens in QApplication::notify for spontaneous events.
    QTest::keyClick(target, Qt::Key_B);
    const QString b = QString::number(Qt::Key_B);
    QCOMPARE(log, (QStringList{"own " + b, "parent " + b}));
    log.clear();
    keep = true;
    QTest::keyClick(target, Qt::Key_B);
    QCOMPARE(log, QStringList{"own " + b});
}

void TestMessageHook::scrollAreaViewportKeepsItsHandling() {
    // Mouse events of a viewport are the scroll area's own: an after call must not bypass them.
    QListWidget list;
    list.addItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    list.resize(200, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    int afterCalls = 0;
    MessageHook hook([&](bool before, bool&, bool&, QObject*, QEvent*) {
        if (!before)
            ++afterCalls;
    });
    hook.hookWindow(list.viewport());
    hook.addHookMessage(list.viewport(), QEvent::MouseButtonPress, MessageHook::After);
    const QRect second = list.visualItemRect(list.item(1));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(afterCalls, 1);
    QCOMPARE(list.currentRow(), 1);
}

QTEST_MAIN(TestMessageHook)
#include "test_messagehook.moc"
