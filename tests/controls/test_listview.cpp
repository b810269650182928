// The list view as the windows use it: events and their order, the cell-colour event, ghosting,
// check boxes, sorting and finding, drops, and the keyboard rule inside a dialog.

#include "controls/olecolor.h"
#include "controls/uclistview.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDialog>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Four 22x22 squares (white, blue, green, red) on magenta, like the photo list's icon strip.
QImage iconStrip() {
    QImage strip(88, 22, QImage::Format_RGB32);
    strip.fill(QColor(255, 0, 255));
    QPainter painter(&strip);
    const QColor colours[] = {Qt::white, Qt::blue, Qt::green, Qt::red};
    for (int i = 0; i < 4; ++i)
        painter.fillRect(i * 22 + 6, 6, 10, 10, colours[i]);
    return strip;
}

// A list set up as the main window sets up its photo list.
void setUpReport(UcListView& list, int rows) {
    list.resize(560, 320);
    QVERIFY(list.Initialize());
    QVERIFY(list.InitializeImageListSmall(22, 22));
    QCOMPARE(list.ImageListSmall_AddBitmap(iconStrip(), 0xFF00FF), 0);
    list.setBorderStyle(1);
    list.setFullRowSelect(true);
    list.setHideSelection(false);
    list.setViewMode(UcListView::ViewReport);
    list.setUseTheme(true);
    QVERIFY(list.ColumnAdd(0, QStringLiteral("文件名"), 130));
    QVERIFY(list.ColumnAdd(1, QStringLiteral("纬度坐标"), 130, UcListView::AlignRight));
    QVERIFY(list.ColumnAdd(2, QStringLiteral("状态"), 100));
    for (int i = 0; i < rows; ++i) {
        QVERIFY(list.ItemAdd(i, QStringLiteral("IMG_%1.JPG").arg(i), 0, 0, i));
        QVERIFY(list.SubItemSet(i, 1, QString::number(i), -1));
        QVERIFY(list.SubItemSet(i, 2, QStringLiteral("待处理"), -1));
    }
}

QRect cellRect(const UcListView& list, int row, int column) {
    QAbstractItemView* view = list.hwnd();
    return view->visualRect(view->model()->index(row, column));
}

QPoint cellCentre(const UcListView& list, int row, int column) {
    return cellRect(list, row, column).center();
}

QImage snapshot(const UcListView& list) {
    return list.hwnd()->viewport()->grab().toImage();
}

bool hasPixelNear(const QImage& image, const QRect& area, const QColor& colour, int tolerance) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) <= tolerance &&
                std::abs(c.green() - colour.green()) <= tolerance &&
                std::abs(c.blue() - colour.blue()) <= tolerance)
                return true;
        }
    }
    return false;
}

// Records the list's events by name, in order.
struct EventLog {
    QStringList names;
    explicit EventLog(UcListView& list) {
        QObject::connect(&list, &UcListView::Click, [this] { names << "Click"; });
        QObject::connect(&list, &UcListView::DblClick, [this] { names << "DblClick"; });
        QObject::connect(&list, &UcListView::ItemClick,
                         [this](int item) { names << QStringLiteral("ItemClick %1").arg(item); });
        QObject::connect(&list, &UcListView::ItemCheck,
                         [this](int item) { names << QStringLiteral("ItemCheck %1").arg(item); });
        QObject::connect(&list, &UcListView::MouseDown, [this](int button, int, float, float) {
            names << QStringLiteral("MouseDown %1").arg(button);
        });
        QObject::connect(&list, &UcListView::MouseUp, [this](int button, int, float, float) {
            names << QStringLiteral("MouseUp %1").arg(button);
        });
        QObject::connect(&list, &UcListView::MouseEnter, [this] { names << "MouseEnter"; });
        QObject::connect(&list, &UcListView::MouseLeave, [this] { names << "MouseLeave"; });
        QObject::connect(&list, &UcListView::MouseMove,
                         [this](int, int, float, float) { names << "MouseMove"; });
        QObject::connect(&list, &UcListView::KeyDown, [this](int& code, int& shift) {
            names << QStringLiteral("KeyDown %1 %2").arg(code).arg(shift);
        });
        QObject::connect(&list, &UcListView::KeyPress,
                         [this](int& ascii) { names << QStringLiteral("KeyPress %1").arg(ascii); });
        QObject::connect(&list, &UcListView::KeyUp, [this](int& code, int& shift) {
            names << QStringLiteral("KeyUp %1 %2").arg(code).arg(shift);
        });
    }
};

} // namespace

class TestListView : public QObject {
    Q_OBJECT
private slots:
    void membersDoNothingBeforeInitialize();
    void initializeOnlyOnce();
    void firstItemTakesFocusWithoutItemClick();
    void clickRaisesEventsInOrder();
    void keysRaiseCodesAndSpaceClicksTheItem();
    void mouseEnterAndLeaveOnce();
    void itemSelectedForEveryItem();
    void cellColours_data();
    void cellColours();
    void systemColoursFollowThePalette();
    void ghostedIconIsDimmedAndMaskIsTransparent();
    void checkBoxes();
    void clickingTheCheckBoxRaisesItemCheck();
    void sort_data();
    void sort();
    void findText_data();
    void findText();
    void findStateAndHitTest();
    void columnZeroIsLeftAligned();
    void headerClicks();
    void droppedFilesArriveAsOLEDragDrop();
    void labelEditEvents();
    void keyboardRuleInsideDialog_data();
    void keyboardRuleInsideDialog();
    void tabLeavesAndCtrlTabGoesToTheContainer();
    void rowAddedJustNowCanBeScrolledTo();
};

void TestListView::membersDoNothingBeforeInitialize() {
    UcListView list;
    QVERIFY(!list.ItemAdd(0, QStringLiteral("a")));
    QVERIFY(!list.ColumnAdd(0, QStringLiteral("a"), 100));
    QVERIFY(!list.Clear());
    QVERIFY(!list.Sort());
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.ItemFindText(QStringLiteral("a")), -1);
    QCOMPARE(list.HeaderHeight(), -1);
    QCOMPARE(list.hwnd(), nullptr);
    list.setFullRowSelect(true); // ignored before Initialize
    list.setRaiseSubItemPrePaint(true);
    QVERIFY(!list.FullRowSelect());
    QVERIFY(list.RaiseSubItemPrePaint());
}

void TestListView::initializeOnlyOnce() {
    UcListView list;
    QVERIFY(list.Initialize());
    QVERIFY(!list.Initialize());
    QVERIFY(list.hwnd() != nullptr);
    QCOMPARE(list.ViewMode(), int(UcListView::ViewList));
}

void TestListView::firstItemTakesFocusWithoutItemClick() {
    UcListView list;
    setUpReport(list, 1);
    EventLog log(list);
    QVERIFY(list.ItemFocused(0));
    QVERIFY(!list.ItemSelected(0));
    // Until the next ItemAdd, selecting an item without a state raises no ItemClick.
    list.setItemFocused(0, false);
    list.setItemSelected(0, true);
    QVERIFY(list.ItemSelected(0));
    QCOMPARE(log.names, QStringList());

    list.ItemAdd(1, QStringLiteral("b"));
    list.ItemAdd(2, QStringLiteral("c"));
    list.ItemAdd(3, QStringLiteral("d"));
    list.setItemGhosted(2, true);
    list.setItemSelected(1, true); // no state before: clicked
    list.setItemSelected(1, true); // selected and focused already
    list.setItemSelected(2, true); // ghosted: it had a state
    list.setItemFocused(3, true);
    list.setItemSelected(3, true); // focused before
    QCOMPARE(log.names, QStringList{"ItemClick 1"});
}

// Rows added one by one while a log loads: the newest is brought into view at once, before the
// event loop has had a pass to take the list's new length.
void TestListView::rowAddedJustNowCanBeScrolledTo() {
    UcListView list;
    setUpReport(list, 5);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    for (int i = 5; i < 200; ++i)
        QVERIFY(list.ItemAdd(i, QStringLiteral("IMG_%1.JPG").arg(i)));
    QVERIFY(list.ItemEnsureVisible(199));
    QVERIFY(list.hwnd()->viewport()->rect().contains(cellRect(list, 199, 0)));
}

void TestListView::clickRaisesEventsInOrder() {
    UcListView list;
    setUpReport(list, 5);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    EventLog log(list);
    QWidget* viewport = list.hwnd()->viewport();

    QTest::mouseClick(viewport, Qt::LeftButton, {}, cellCentre(list, 2, 1));
    QVERIFY(list.ItemSelected(2));
    QVERIFY(list.ItemFocused(2));
    log.names.removeAll("MouseMove");
    log.names.removeAll("MouseEnter");
    QCOMPARE(log.names, (QStringList{"ItemClick 2", "MouseDown 1", "MouseUp 1", "Click"}));

    // Empty space below the items: no ItemClick, but the release still clicks.
    log.names.clear();
    QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(10, viewport->height() - 3));
    log.names.removeAll("MouseMove");
    QCOMPARE(log.names, (QStringList{"MouseDown 2", "MouseUp 2", "Click"}));
    QCOMPARE(list.SelectedCount(), 0);

    log.names.clear();
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, cellCentre(list, 1, 0));
    QVERIFY(log.names.contains("DblClick"));
}

void TestListView::keysRaiseCodesAndSpaceClicksTheItem() {
    UcListView list;
    setUpReport(list, 3);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setItemSelected(1, true);
    EventLog log(list);
    QTest::keyClick(list.hwnd(), Qt::Key_A);
    QCOMPARE(log.names, (QStringList{"KeyDown 65 0", "KeyPress 97", "KeyUp 65 0"}));
    log.names.clear();
    QTest::keyClick(list.hwnd(), Qt::Key_Space);
    QCOMPARE(log.names, (QStringList{"KeyDown 32 0", "KeyPress 32", "ItemClick 1", "KeyUp 32 0"}));
    log.names.clear();
    QTest::keyClick(list.hwnd(), Qt::Key_Down, Qt::ShiftModifier);
    QVERIFY(log.names.contains("KeyDown 40 1"));
}

void TestListView::mouseEnterAndLeaveOnce() {
    UcListView list;
    setUpReport(list, 3);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    EventLog log(list);
    QWidget* viewport = list.hwnd()->viewport();
    auto move = [viewport](QPoint pos) {
        QMouseEvent event(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    move(QPoint(20, 20));
    move(QPoint(30, 20));
    move(QPoint(30, 20)); // not moved: no MouseMove
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(viewport, &leave);
    QApplication::sendEvent(viewport, &leave);
    move(QPoint(40, 20));
    QCOMPARE(log.names, (QStringList{"MouseEnter", "MouseMove", "MouseMove", "MouseLeave",
                                     "MouseEnter", "MouseMove"}));
}

void TestListView::itemSelectedForEveryItem() {
    UcListView list;
    setUpReport(list, 4);
    list.setMultiSelect(true);
    list.setItemSelected(1, true);
    list.setItemSelected(3, true);
    QCOMPARE(list.SelectedCount(), 2);
    QVERIFY(list.ItemFocused(3));
    list.setItemSelected(-1, false);
    QCOMPARE(list.SelectedCount(), 0);
    QVERIFY(list.ItemFocused(3)); // the focus stays
    list.setItemSelected(-1, true);
    QCOMPARE(list.SelectedCount(), 4);
    list.setItemSelected(2, false);
    QCOMPARE(list.ItemFindState(-1, UcListView::StateSelected), 0);
    QCOMPARE(list.ItemFindState(1, UcListView::StateSelected), 3);
}

void TestListView::cellColours_data() {
    QTest::addColumn<bool>("process");
    QTest::addColumn<quint32>("back");
    QTest::addColumn<quint32>("fore");
    QTest::addColumn<QColor>("wantBack");
    QTest::addColumn<QColor>("wantText");

    const QColor base = QPalette().color(QPalette::Base);
    const QColor text = QPalette().color(QPalette::Text);
    QTest::newRow("process left false keeps the list's colours")
        << false << quint32(0xFF0000) << quint32(0x0000FF) << base << text;
    // COLORREF is 0x00BBGGRR: 0xFF0000 is blue, 0x0000FF red.
    QTest::newRow("both colours, blue on red")
        << true << quint32(0x0000FF) << quint32(0xFF0000) << QColor(255, 0, 0) << QColor(0, 0, 255);
    QTest::newRow("only the background set: black text")
        << true << quint32(0xF8F8F8) << quint32(0) << QColor(0xF8, 0xF8, 0xF8) << QColor(0, 0, 0);
}

void TestListView::cellColours() {
    QFETCH(bool, process);
    QFETCH(quint32, back);
    QFETCH(quint32, fore);
    QFETCH(QColor, wantBack);
    QFETCH(QColor, wantText);

    UcListView list;
    setUpReport(list, 3);
    list.setRaiseSubItemPrePaint(true);
    QList<QPair<int, int>> cells;
    connect(&list, &UcListView::OnSubItemPrePaint,
            [&](int item, int subItem, quint32& b, quint32& f, bool& p) {
                QCOMPARE(b, 0u);
                QCOMPARE(f, 0u);
                QVERIFY(!p);
                cells.append({item, subItem});
                if (item == 1 && subItem == 2) {
                    p = process;
                    if (back != 0)
                        b = back;
                    if (fore != 0)
                        f = fore;
                }
            });
    list.setItemText(1, QStringLiteral("WWWWWWWW"));
    list.SubItemSet(1, 2, QStringLiteral("WWWWWWWW"), -1);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QImage image = snapshot(list);
    QVERIFY(cells.contains({0, 0}));
    QVERIFY(cells.contains({2, 2}));

    const QRect cell = cellRect(list, 1, 2);
    QCOMPARE(image.pixelColor(cell.right() - 2, cell.center().y()), wantBack);
    QVERIFY2(hasPixelNear(image, cell.adjusted(2, 2, -2, -2), wantText, 40),
             "no text pixel in the expected colour");
    // The item's own label, not coloured by the handler, keeps the list's colours.
    const QRect label = cellRect(list, 1, 0);
    QCOMPARE(image.pixelColor(label.right() - 2, label.center().y()),
             QPalette().color(QPalette::Base));
}

void TestListView::systemColoursFollowThePalette() {
    QPalette palette;
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(1, 2, 3));
    palette.setColor(QPalette::Active, QPalette::Button, QColor(4, 5, 6));
    QCOMPARE(olecolor::toQColor(olecolor::kGrayText, palette), QColor(1, 2, 3));
    QCOMPARE(olecolor::toQColor(olecolor::kButtonFace, palette), QColor(4, 5, 6));
    QCOMPARE(olecolor::toQColor(olecolor::rgb(50, 100, 200)), QColor(50, 100, 200));
    QCOMPARE(olecolor::toQColor(0x80000063u), QColor(Qt::black)); // no such system colour
    QCOMPARE(olecolor::fromQColor(QColor(0xCC, 0xFF, 0xFF)), 0xFFFFCCu);
}

void TestListView::ghostedIconIsDimmedAndMaskIsTransparent() {
    UcListView list;
    setUpReport(list, 2);
    list.setItemIcon(0, 3);
    list.setItemIcon(1, 3);
    list.setItemGhosted(1, true);
    QVERIFY(!list.ItemGhosted(0));
    QVERIFY(list.ItemGhosted(1));
    QCOMPARE(list.ItemFindState(-1, UcListView::StateCut), 1);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QImage image = snapshot(list);
    const QColor base = QPalette().color(QPalette::Base);

    auto iconArea = [&](int row) {
        QRect r = cellRect(list, row, 0);
        return QRect(r.left(), r.top(), 30, r.height());
    };
    QVERIFY(hasPixelNear(image, iconArea(0), QColor(255, 0, 0), 0));
    QVERIFY(!hasPixelNear(image, iconArea(0), QColor(255, 0, 255), 10)); // the mask colour
    // Ghosted: the red square blended half way into the background, no pure red left.
    QVERIFY(!hasPixelNear(image, iconArea(1), QColor(255, 0, 0), 20));
    const QColor blended((255 + base.red()) / 2, base.green() / 2, base.blue() / 2);
    QVERIFY(hasPixelNear(image, iconArea(1), blended, 12));
}

void TestListView::checkBoxes() {
    UcListView list;
    setUpReport(list, 2);
    QVERIFY(!list.ItemChecked(0)); // no check boxes yet
    list.setCheckBoxes(true);
    list.ItemAdd(2, QStringLiteral("c"));
    EventLog log(list);
    for (int i = 0; i < 3; ++i)
        QVERIFY(!list.ItemChecked(i));
    list.setItemChecked(2, true);
    QVERIFY(list.ItemChecked(2));
    list.setItemChecked(2, true); // no change, no event
    list.setItemChecked(0, false);
    QCOMPARE(log.names, QStringList{"ItemCheck 2"});

    // A handler that keeps a ghosted row checked, as the options dialog does.
    list.setItemGhosted(0, true);
    list.setItemChecked(0, true);
    connect(&list, &UcListView::ItemCheck, [&list](int item) {
        if (list.ItemGhosted(item) && !list.ItemChecked(item))
            list.setItemChecked(item, true);
    });
    list.setItemChecked(0, false);
    QVERIFY(list.ItemChecked(0));
    list.setItemChecked(1, true);
    list.setItemChecked(1, false);
    QVERIFY(!list.ItemChecked(1));
}

void TestListView::clickingTheCheckBoxRaisesItemCheck() {
    UcListView list;
    setUpReport(list, 3);
    list.setCheckBoxes(true);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy checks(&list, &UcListView::ItemCheck);
    const QRect label = cellRect(list, 1, 0);
    // The indicator sits at the left of the label, before the icon.
    bool toggled = false;
    for (int x = label.left() + 2; x < label.left() + 30 && !toggled; x += 2) {
        QTest::mouseClick(list.hwnd()->viewport(), Qt::LeftButton, {},
                          QPoint(x, label.center().y()));
        toggled = list.ItemChecked(1);
    }
    QVERIFY(toggled);
    QVERIFY(!checks.isEmpty());
    QCOMPARE(checks.first().first().toInt(), 1);
}

void TestListView::sort_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("sorted");

    const QStringList words{"banana", "Apple", "cherry", "apple2"};
    QTest::newRow("text ignoring case")
        << words << 1 << 0 << true << QStringList{"Apple", "apple2", "banana", "cherry"};
    QTest::newRow("text by character codes")
        << words << 1 << 1 << true << QStringList{"Apple", "apple2", "banana", "cherry"};
    QTest::newRow("by codes, upper case first")
        << QStringList{"b", "B", "a"} << 1 << 1 << true << QStringList{"B", "a", "b"};
    QTest::newRow("descending") << words << -1 << 0 << true
                                << QStringList{"cherry", "banana", "apple2", "Apple"};
    QTest::newRow("order 0 keeps the order") << words << 0 << 0 << true << words;
    QTest::newRow("numbers, empty counts as 0")
        << QStringList{"10", "9", "", "-1.5", "100"} << 1 << 2 << true
        << QStringList{"-1.5", "", "9", "10", "100"};
    QTest::newRow("numbers as text")
        << QStringList{"10", "9", "100"} << 1 << 0 << true << QStringList{"10", "100", "9"};
    QTest::newRow("dates, other text counts as 0")
        << QStringList{"2021-03-01", "1999-12-31", "none", "2021-02-28 23:00:00"} << 1 << 3 << true
        << QStringList{"none", "1999-12-31", "2021-02-28 23:00:00", "2021-03-01"};
    QTest::newRow("order 2 refused") << words << 2 << 0 << false << words;
    QTest::newRow("type 4 refused") << words << 1 << 4 << false << words;
}

void TestListView::sort() {
    QFETCH(QStringList, texts);
    QFETCH(int, order);
    QFETCH(int, type);
    QFETCH(bool, result);
    QFETCH(QStringList, sorted);

    UcListView list;
    setUpReport(list, 0);
    for (int i = 0; i < texts.size(); ++i) {
        list.ItemAdd(i, QStringLiteral("row %1").arg(i), 0, 0, i);
        list.SubItemSet(i, 1, texts[i], -1);
    }
    list.setItemSelected(1, true);
    QCOMPARE(list.Sort(1, order, type), result);
    QStringList after;
    for (int i = 0; i < list.Count(); ++i) {
        after << list.SubItemText(i, 1);
        // Rows move whole: text, tag and state go together.
        QCOMPARE(list.ItemText(i), QStringLiteral("row %1").arg(list.ItemTag(i)));
        QCOMPARE(list.ItemSelected(i), list.ItemTag(i) == 1);
    }
    QCOMPARE(after, sorted);
}

void TestListView::findText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("found");

    QTest::newRow("blank") << QStringLiteral("   ") << -1 << int(UcListView::FindString) << -1;
    QTest::newRow("whole text, any case")
        << QStringLiteral("img_b.jpg") << -1 << int(UcListView::FindString) << 1;
    QTest::newRow("whole text only")
        << QStringLiteral("IMG_B") << -1 << int(UcListView::FindString) << -1;
    QTest::newRow("prefix") << QStringLiteral("img_") << -1 << int(UcListView::FindPartial) << 0;
    QTest::newRow("after the start item")
        << QStringLiteral("img_") << 0 << int(UcListView::FindPartial) << 1;
    QTest::newRow("no wrap") << QStringLiteral("IMG_A.JPG") << 0 << int(UcListView::FindString)
                             << -1;
    QTest::newRow("wrap") << QStringLiteral("IMG_A.JPG") << 0
                          << int(UcListView::FindString | UcListView::FindWrap) << 0;
    QTest::newRow("tag") << QStringLiteral("7") << -1 << int(UcListView::FindParam) << 2;
}

void TestListView::findText() {
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, flags);
    QFETCH(int, found);
    UcListView list;
    setUpReport(list, 0);
    list.ItemAdd(0, QStringLiteral("IMG_A.JPG"), 0, 0, 5);
    list.ItemAdd(1, QStringLiteral("IMG_B.JPG"), 0, 0, 6);
    list.ItemAdd(2, QStringLiteral("notes.txt"), 0, 0, 7);
    QCOMPARE(list.ItemFindText(text, start, flags), found);
}

void TestListView::findStateAndHitTest() {
    UcListView list;
    setUpReport(list, 6);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setItemSelected(4, true);
    QCOMPARE(list.ItemFindState(-1, UcListView::StateFocused), 4);
    QCOMPARE(list.ItemFindState(-1, UcListView::StateFocused | UcListView::StateSelected), 4);
    QCOMPARE(list.ItemFindState(4, UcListView::StateSelected), -1);
    QCOMPARE(list.ItemFindState(-1, UcListView::StateCut), -1);
    QCOMPARE(list.ItemFindState(2, UcListView::StateAll), 3);

    // Positions are client positions of the list, header included.
    const QRect row3 = cellRect(list, 3, 1);
    const QPoint viewportOrigin =
        list.hwnd()->viewport()->geometry().topLeft() - list.hwnd()->contentsRect().topLeft();
    const QPoint client = row3.center() + viewportOrigin;
    QCOMPARE(list.ItemHitTest(client.x(), client.y()), 3);
    QCOMPARE(list.ItemHitTest(client.x(), viewportOrigin.y() / 2.0f), -1); // on the header
    QCOMPARE(list.ItemHitTest(client.x(), list.hwnd()->height() - 4), -1);
    QVERIFY(list.HeaderHeight() > 0);
    list.setHeaderHide(true);
    QCOMPARE(list.HeaderHeight(), 0);
}

void TestListView::columnZeroIsLeftAligned() {
    UcListView list;
    QVERIFY(list.Initialize());
    QVERIFY(list.ColumnAdd(0, QStringLiteral("a"), 50, UcListView::AlignRight));
    QVERIFY(list.ColumnAdd(1, QStringLiteral("b"), 60, UcListView::AlignCenter));
    QCOMPARE(list.ColumnAlign(0), int(UcListView::AlignLeft));
    QCOMPARE(list.ColumnAlign(1), int(UcListView::AlignCenter));
    QCOMPARE(list.ColumnCount(), 2);
    QCOMPARE(list.ColumnWidth(1), 60);
    QCOMPARE(list.ColumnText(1), QStringLiteral("b"));
    // A column inserted in front moves the sub-items with their columns.
    list.ItemAdd(0, QStringLiteral("x"));
    list.SubItemSet(0, 1, QStringLiteral("under b"), -1);
    QVERIFY(list.ColumnAdd(1, QStringLiteral("new"), 40));
    QCOMPARE(list.SubItemText(0, 2), QStringLiteral("under b"));
    QCOMPARE(list.SubItemText(0, 1), QString());
    QVERIFY(!list.SubItemSet(0, 3, QStringLiteral("no such column"), -1));
    QVERIFY(list.ColumnRemove(1));
    QCOMPARE(list.SubItemText(0, 1), QStringLiteral("under b"));
}

void TestListView::headerClicks() {
    UcListView list;
    setUpReport(list, 2);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy clicks(&list, &UcListView::ColumnClick);
    auto* header = list.hwnd()->findChild<QHeaderView*>();
    QVERIFY(header);
    const QPoint second(header->sectionViewportPosition(1) + 20, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.first().first().toInt(), 1);
    list.setHeaderFlat(true); // flat header items are not buttons
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(clicks.count(), 1);
    list.setColumnWidth(1, 77);
    QCOMPARE(header->sectionSize(1), 77);
    QCOMPARE(list.ColumnWidth(1), 77);
}

void TestListView::droppedFilesArriveAsOLEDragDrop() {
    UcListView list;
    setUpReport(list, 1);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QStringList dropped;
    int drops = 0;
    connect(&list, &UcListView::OLEDragDrop,
            [&](const QStringList& files, int&, int, int, float, float) {
                dropped = files;
                ++drops;
            });
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/photos/a.jpg")),
                  QUrl(QStringLiteral("https://example.com/b.jpg")),
                  QUrl::fromLocalFile(QStringLiteral("/photos/c d.jpg"))});
    QWidget* viewport = list.hwnd()->viewport();
    auto drop = [&] {
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &enter);
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &event);
        return event.isAccepted();
    };
    QVERIFY(!drop()); // OLEDropMode 0: drops refused
    QCOMPARE(drops, 0);
    list.setOLEDropMode(1);
    QVERIFY(drop());
    QCOMPARE(drops, 1);
    QCOMPARE(dropped, (QStringList{"/photos/a.jpg", "/photos/c d.jpg"}));
}

void TestListView::labelEditEvents() {
    UcListView list;
    setUpReport(list, 2);
    list.setLabelEdit(true);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setItemSelected(0, true);
    list.hwnd()->setFocus();

    int cancelBefore = 1;
    connect(&list, &UcListView::BeforeLabelEdit, [&](int& cancel) { cancel = cancelBefore; });
    QStringList after;
    connect(&list, &UcListView::AfterLabelEdit, [&](int& cancel, QString& text) {
        after << QStringLiteral("%1 %2").arg(cancel).arg(text);
        if (text == QLatin1String("refuse"))
            cancel = 1;
    });
    QTest::keyClick(list.hwnd(), Qt::Key_F2);
    QVERIFY(!QApplication::focusWidget() || QApplication::focusWidget() == list.hwnd());

    auto editTo = [&](const QString& text, Qt::Key endKey) {
        QTest::keyClick(list.hwnd(), Qt::Key_F2);
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(editor && editor != list.hwnd());
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, endKey);
        QTRY_COMPARE(QApplication::focusWidget(), list.hwnd()); // the editor closes later
    };
    cancelBefore = 0;
    editTo(QStringLiteral("renamed"), Qt::Key_Return);
    QCOMPARE(list.ItemText(0), QStringLiteral("renamed"));
    editTo(QStringLiteral("refuse"), Qt::Key_Return);
    QCOMPARE(list.ItemText(0), QStringLiteral("renamed"));
    editTo(QStringLiteral("escaped"), Qt::Key_Escape);
    QCOMPARE(list.ItemText(0), QStringLiteral("renamed"));
    QCOMPARE(after, (QStringList{"0 renamed", "0 refuse", "1 escaped"}));
}

void TestListView::keyboardRuleInsideDialog_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<int>("endRow");
    QTest::newRow("Down") << int(Qt::Key_Down) << 3 << 4;
    QTest::newRow("Up") << int(Qt::Key_Up) << 3 << 2;
    QTest::newRow("Up at the top stays") << int(Qt::Key_Up) << 0 << 0;
    QTest::newRow("Home") << int(Qt::Key_Home) << 3 << 0;
    QTest::newRow("End") << int(Qt::Key_End) << 3 << 39;
    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << 0 << -1;
    QTest::newRow("Page Up") << int(Qt::Key_PageUp) << 39 << -1;
    QTest::newRow("Left scrolls only") << int(Qt::Key_Left) << 3 << 3;
    QTest::newRow("Right scrolls only") << int(Qt::Key_Right) << 3 << 3;
}

// The dialog uses the navigation keys as shortcuts and would move the focus with them; the list
// keeps them.
void TestListView::keyboardRuleInsideDialog() {
    QFETCH(int, key);
    QFETCH(int, startRow);
    QFETCH(int, endRow);

    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new UcListView;
    layout->addWidget(new QPushButton(QStringLiteral("before")));
    layout->addWidget(list);
    layout->addWidget(new QPushButton(QStringLiteral("after")));
    setUpReport(*list, 40);
    auto* shortcut = new QAction(&dialog);
    shortcut->setShortcut(QKeySequence(key));
    dialog.addAction(shortcut);
    QSignalSpy stolen(shortcut, &QAction::triggered);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    list->setItemSelected(startRow, true);
    list->hwnd()->setFocus();
    QTest::keyClick(list->hwnd(), Qt::Key(key));
    QCOMPARE(stolen.count(), 0);
    QCOMPARE(QApplication::focusWidget(), list->hwnd());
    const int row = list->ItemFindState(-1, UcListView::StateFocused);
    if (endRow >= 0)
        QCOMPARE(row, endRow);
    else
        QVERIFY(row != startRow);
}

void TestListView::tabLeavesAndCtrlTabGoesToTheContainer() {
    struct Container : QDialog {
        QList<QKeyCombination> keys;
        void keyPressEvent(QKeyEvent* event) override {
            if (event->key() != Qt::Key_Control && event->key() != Qt::Key_Shift)
                keys << event->keyCombination();
            QDialog::keyPressEvent(event);
        }
    } dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* before = new QPushButton(QStringLiteral("before"));
    auto* list = new UcListView;
    auto* after = new QPushButton(QStringLiteral("after"));
    layout->addWidget(before);
    layout->addWidget(list);
    layout->addWidget(after);
    setUpReport(*list, 5);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    list->hwnd()->setFocus();
    QTest::keyClick(list->hwnd(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(dialog.keys.size(), 1);
    QCOMPARE(dialog.keys.first(), QKeyCombination(Qt::ControlModifier, Qt::Key_Tab));
    QCOMPARE(QApplication::focusWidget(), list->hwnd());

    QTest::keyClick(list->hwnd(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), after);
    list->hwnd()->setFocus();
    QTest::keyClick(list->hwnd(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), before);
    QCOMPARE(dialog.keys.size(), 1);
}

QTEST_MAIN(TestListView)
#include "test_listview.moc"
