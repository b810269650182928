// The hyperlink label: defaults, activation by keyboard and mouse with PrepareJump before Jump,
// the focus look, hover and visited colours, and the shortened caption.

#include "controls/olecolor.h"
#include "controls/uchyperlink.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

QColor labelColour(const UcHyperLink& link) {
    return link.findChild<QLabel*>(QStringLiteral("LabelHyperlink"))
        ->palette()
        .color(QPalette::WindowText);
}

QLabel* label(UcHyperLink& link) {
    return link.findChild<QLabel*>(QStringLiteral("LabelHyperlink"));
}

void hover(UcHyperLink& link, bool enter) {
    QEvent event(enter ? QEvent::Enter : QEvent::Leave);
    QApplication::sendEvent(label(link), &event);
}

// A window holding a button, the link and another button, active.
struct Form {
    QWidget window;
    QPushButton* first = new QPushButton(QStringLiteral("first"));
    UcHyperLink* link = new UcHyperLink;
    QPushButton* last = new QPushButton(QStringLiteral("last"));
    Form() {
        auto* layout = new QHBoxLayout(&window);
        layout->addWidget(first);
        layout->addWidget(link);
        layout->addWidget(last);
        link->setCaption(QStringLiteral("访问网站"));
        link->setMinimumSize(120, 24);
        window.show();
        window.activateWindow();
    }
};

} // namespace

class TestHyperLink : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void keyboardActivation_data();
    void keyboardActivation();
    void prepareJumpCanEndTheFocusLook();
    void clickActivatesWithoutTakingTheFocus();
    void hoverAndUsedColours();
    void noHoverWhileAnotherWindowIsActive();
    void arrowsMoveTheFocus();
    void shortenedCaption_data();
    void shortenedCaption();
    void autoSizeShowsTheWholeCaption();
    void aScreenReaderSeesALinkItCanPress();
};

void TestHyperLink::defaults() {
    UcHyperLink link;
    QCOMPARE(link.Caption(), QString());
    QVERIFY(link.HoverEnabled());
    QCOMPARE(link.CursorID(), 1000);
    QVERIFY(link.CursorUse());
    QVERIFY(!link.CursorCustom());
    QVERIFY(!link.AutoSize());
    QCOMPARE(link.Alignment(), int(UcHyperLink::AlignLeft));
    QCOMPARE(link.BackColor(), 0x8000000Fu);
    QCOMPARE(link.BackStyle(), int(UcHyperLink::BackOpaque));
    QCOMPARE(link.ColorNormal(), olecolor::rgb(50, 100, 200));
    QCOMPARE(link.ColorHover(), olecolor::rgb(255, 0, 0));
    QCOMPARE(link.ColorUsed(), olecolor::rgb(50, 100, 200));
    QCOMPARE(link.FontNormal(), link.font());
    QCOMPARE(labelColour(link), QColor(50, 100, 200));
    QCOMPARE(label(link)->cursor().shape(), Qt::PointingHandCursor);
    link.setCursorUse(false);
    QVERIFY(!label(link)->testAttribute(Qt::WA_SetCursor));
}

void TestHyperLink::keyboardActivation_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("activates");
    QTest::newRow("Space") << int(Qt::Key_Space) << true;
    QTest::newRow("Enter") << int(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true;
    QTest::newRow("a letter") << int(Qt::Key_J) << false;
}

void TestHyperLink::keyboardActivation() {
    QFETCH(int, key);
    QFETCH(bool, activates);
    Form form;
    QVERIFY(QTest::qWaitForWindowActive(&form.window));
    QStringList order;
    connect(form.link, &UcHyperLink::PrepareJump, [&](bool& ensure) {
        QVERIFY(!ensure);
        order << "PrepareJump";
    });
    connect(form.link, &UcHyperLink::Jump, [&] { order << "Jump"; });
    form.link->setFocus(Qt::TabFocusReason);
    QVERIFY(form.link->focusRectShown());
    QTest::keyClick(form.link, Qt::Key(key));
    const QStringList expected = activates ? QStringList{"PrepareJump", "Jump"} : QStringList();
    QCOMPARE(order, expected);
    QCOMPARE(form.link->isUsed(), activates);
    QVERIFY(form.link->focusRectShown());
}

void TestHyperLink::prepareJumpCanEndTheFocusLook() {
    Form form;
    QVERIFY(QTest::qWaitForWindowActive(&form.window));
    bool ensure = false;
    bool rectDuringJump = false;
    connect(form.link, &UcHyperLink::PrepareJump, [&](bool& e) { e = ensure; });
    connect(form.link, &UcHyperLink::Jump, [&] { rectDuringJump = form.link->focusRectShown(); });
    form.link->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form.link, Qt::Key_Space);
    QVERIFY(rectDuringJump);
    ensure = true;
    QTest::keyClick(form.link, Qt::Key_Space);
    QVERIFY(!rectDuringJump);
}

void TestHyperLink::clickActivatesWithoutTakingTheFocus() {
    Form form;
    QVERIFY(QTest::qWaitForWindowActive(&form.window));
    form.first->setFocus();
    QSignalSpy jumps(form.link, &UcHyperLink::Jump);
    QTest::mouseClick(label(*form.link), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(jumps.count(), 1);
    QCOMPARE(QApplication::focusWidget(), form.first);
    QVERIFY(!form.link->focusRectShown());
    QTest::mouseClick(label(*form.link), Qt::RightButton, {}, QPoint(5, 5));
    QCOMPARE(jumps.count(), 1);
}

void TestHyperLink::hoverAndUsedColours() {
    Form form;
    QVERIFY(QTest::qWaitForWindowActive(&form.window));
    form.link->setColorUsed(olecolor::rgb(128, 0, 128));
    hover(*form.link, true);
    QVERIFY(form.link->isHovered());
    QCOMPARE(labelColour(*form.link), QColor(255, 0, 0));
    hover(*form.link, false);
    QCOMPARE(labelColour(*form.link), QColor(50, 100, 200));

    hover(*form.link, true);
    QTest::mouseClick(label(*form.link), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(labelColour(*form.link), QColor(255, 0, 0)); // still under the mouse
    hover(*form.link, false);
    QCOMPARE(labelColour(*form.link), QColor(128, 0, 128));

    form.link->setHoverEnabled(false);
    hover(*form.link, true);
    QVERIFY(!form.link->isHovered());
    hover(*form.link, false);
    form.link->setHoverEnabled(true);
    form.link->setEnabled(false);
    hover(*form.link, true);
    QCOMPARE(labelColour(*form.link), QColor(50, 100, 200));
}

void TestHyperLink::noHoverWhileAnotherWindowIsActive() {
    Form form;
    QVERIFY(QTest::qWaitForWindowActive(&form.window));
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    hover(*form.link, true);
    QVERIFY(!form.link->isHovered());
    QCOMPARE(labelColour(*form.link), QColor(50, 100, 200));
    // Back in the link's window with the mouse still on it, the hover look appears.
    form.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form.window));
    QTRY_VERIFY(form.link->isHovered());
}

void TestHyperLink::arrowsMoveTheFocus() {
    Form form;
    QVERIFY(QTest::qWaitForWindowActive(&form.window));
    form.link->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form.link, Qt::Key_Right);
    QCOMPARE(QApplication::focusWidget(), form.last);
    form.link->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form.link, Qt::Key_Up);
    QCOMPARE(QApplication::focusWidget(), form.first);
}

void TestHyperLink::shortenedCaption_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shown"); // empty: check the shortening rule's shape only
    const QString caption = QStringLiteral("http://www.example.com/a/rather/long/address");
    QTest::newRow("fits") << 2000 << caption << caption;
    QTest::newRow("empty caption") << 10 << QString() << QString();
    QTest::newRow("very narrow: one character and dots") << 6 << caption << QStringLiteral("h...");
    QTest::newRow("shortened") << 150 << caption << QStringLiteral("?");
}

void TestHyperLink::shortenedCaption() {
    QFETCH(int, width);
    QFETCH(QString, caption);
    QFETCH(QString, shown);
    UcHyperLink link;
    link.resize(width, 20);
    link.setCaption(caption);
    if (shown != QLatin1String("?")) {
        QCOMPARE(link.shownCaption(), shown);
        return;
    }
    const QString text = link.shownCaption();
    QVERIFY(text.endsWith(QLatin1String("...")));
    const QString kept = text.chopped(3);
    QVERIFY(!kept.isEmpty());
    QVERIFY(caption.startsWith(kept));
    QVERIFY(QFontMetrics(link.FontNormal()).horizontalAdvance(text) <= width - 2);
    // A new caption is measured again.
    link.setCaption(QStringLiteral("short"));
    QCOMPARE(link.shownCaption(), QStringLiteral("short"));
}

void TestHyperLink::autoSizeShowsTheWholeCaption() {
    UcHyperLink link;
    link.resize(20, 20);
    const QString caption = QStringLiteral("访问 Corvexa 网站");
    link.setCaption(caption);
    QVERIFY(link.shownCaption().endsWith(QLatin1String("...")));
    link.setAutoSize(true);
    QCOMPARE(link.shownCaption(), caption);
    QVERIFY(link.width() >= QFontMetrics(link.FontNormal()).horizontalAdvance(caption) + 2);
}

void TestHyperLink::aScreenReaderSeesALinkItCanPress() {
    UcHyperLink link;
    link.setCaption(QStringLiteral("Corvexa 官网"));
    QSignalSpy jumps(&link, &UcHyperLink::Jump);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&link);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Link);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Corvexa 官网"));
    QVERIFY(!iface->state().traversed);
    iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(jumps.size(), 1);
    QTRY_VERIFY(iface->state().traversed);
}

QTEST_MAIN(TestHyperLink)
#include "test_hyperlink.moc"
