// What a screen reader reads of the list through Qt's accessibility interfaces: a table with
// column headers, cells with their texts, selected rows and check states, kept right as rows
// change.

#include "controls/uclistview.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QSignalSpy>
#include <QTest>

namespace {

// A report list like the options dialog's: check boxes, three columns, the given rows.
void setUp(UcListView& list, const QList<QStringList>& rows) {
    list.resize(400, 200);
    QVERIFY(list.Initialize());
    list.setViewMode(UcListView::ViewReport);
    list.setFullRowSelect(true);
    list.setCheckBoxes(true);
    list.setAccessibleName(QStringLiteral("字段列表"));
    QVERIFY(list.ColumnAdd(0, QStringLiteral("项目"), 120));
    QVERIFY(list.ColumnAdd(1, QStringLiteral("标签"), 160));
    QVERIFY(list.ColumnAdd(2, QStringLiteral("状态"), 100));
    for (int i = 0; i < rows.size(); ++i) {
        QVERIFY(list.ItemAdd(i, rows[i][0]));
        QVERIFY(list.SubItemSet(i, 1, rows[i][1]));
        QVERIFY(list.SubItemSet(i, 2, rows[i][2]));
    }
}

QAccessibleInterface* tableOf(const UcListView& list) {
    return QAccessible::queryAccessibleInterface(list.hwnd());
}

} // namespace

class TestListViewAccessible : public QObject {
    Q_OBJECT

    const QList<QStringList> m_rows = {{"GPS 纬度坐标", "GPSLatitude", "处理成功！"},
                                       {"GPS 速度", "GPSSpeed", "跳过"},
                                       {"GPS 方向", "GPSTrack", "未找到文件"}};

private slots:
    void theListIsATableWithHeadersThenCells() {
        UcListView list;
        setUp(list, m_rows);
        QAccessibleInterface* table = tableOf(list);
        QVERIFY(table && table->tableInterface());
        QCOMPARE(table->role(), QAccessible::Table);
        QCOMPARE(table->text(QAccessible::Name), QStringLiteral("字段列表"));
        QCOMPARE(table->tableInterface()->rowCount(), 3);
        QCOMPARE(table->tableInterface()->columnCount(), 3);
        QCOMPARE(table->childCount(), 12); // a header row and three rows of three cells
        QStringList texts;
        for (int i = 0; i < table->childCount(); ++i) {
            QAccessibleInterface* child = table->child(i);
            QVERIFY(child);
            QCOMPARE(table->indexOfChild(child), i);
            QCOMPARE(child->parent(), table);
            QCOMPARE(child->role(), i < 3 ? QAccessible::ColumnHeader : QAccessible::Cell);
            texts << child->text(QAccessible::Name);
        }
        QCOMPARE(texts.mid(0, 3), (QStringList{"项目", "标签", "状态"}));
        QCOMPARE(texts.mid(6, 3), m_rows[1]);
        QAccessibleTableCellInterface* cell =
            table->tableInterface()->cellAt(2, 2)->tableCellInterface();
        QVERIFY(cell);
        QCOMPARE(cell->rowIndex(), 2);
        QCOMPARE(cell->columnHeaderCells().value(0)->text(QAccessible::Name),
                 QStringLiteral("状态"));
    }

    void cellStatesFollowChecksAndSelection_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("selected");
        QTest::newRow("checked row, first cell") << 0 << 0 << true << true << false;
        QTest::newRow("unchecked row, first cell") << 1 << 0 << true << false << true;
        QTest::newRow("selected row, status cell") << 1 << 2 << false << false << true;
        QTest::newRow("plain cell") << 2 << 1 << false << false << false;
    }

    void cellStatesFollowChecksAndSelection() {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(bool, checkable);
        QFETCH(bool, checked);
        QFETCH(bool, selected);
        UcListView list;
        setUp(list, m_rows);
        list.setItemChecked(0, true);
        list.setItemSelected(1, true);
        QAccessibleInterface* table = tableOf(list);
        const QAccessible::State state = table->tableInterface()->cellAt(row, column)->state();
        QCOMPARE(bool(state.checkable), checkable);
        QCOMPARE(bool(state.checked), checked);
        QCOMPARE(bool(state.selected), selected);
        QCOMPARE(table->tableInterface()->isRowSelected(row), selected);
    }

    void toggleActionTicksTheBoxAsAClickWould() {
        UcListView list;
        setUp(list, m_rows);
        QSignalSpy checks(&list, &UcListView::ItemCheck);
        QAccessibleInterface* cell = tableOf(list)->tableInterface()->cellAt(2, 0);
        QVERIFY(cell->actionInterface());
        QVERIFY(cell->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::toggleAction()));
        cell->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(list.ItemChecked(2));
        QCOMPARE(checks.size(), 1);
        QVERIFY(cell->state().checked);
    }

    void cellsReadTheRowsAsTheyAreNow() {
        UcListView list;
        setUp(list, m_rows);
        QAccessibleInterface* table = tableOf(list);
        QAccessibleInterface* status = table->tableInterface()->cellAt(0, 2);
        list.SubItemSet(0, 2, QStringLiteral("读取失败"));
        QCOMPARE(status->text(QAccessible::Name), QStringLiteral("读取失败"));

        QVERIFY(list.Clear());
        QCOMPARE(table->childCount(), 3);
        QVERIFY(!table->tableInterface()->cellAt(0, 0));
        QVERIFY(list.ItemAdd(0, QStringLiteral("b.jpg")));
        QCOMPARE(table->tableInterface()->cellAt(0, 0)->text(QAccessible::Name),
                 QStringLiteral("b.jpg"));
    }

    void aPointOnTheScreenFindsItsCell() {
        UcListView list;
        setUp(list, m_rows);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QAccessibleInterface* table = tableOf(list);
        QAccessibleInterface* cell = table->tableInterface()->cellAt(1, 1);
        QVERIFY(!cell->rect().isEmpty());
        QCOMPARE(table->childAt(cell->rect().center().x(), cell->rect().center().y()), cell);
        QAccessibleInterface* header = table->child(2);
        QCOMPARE(table->childAt(header->rect().center().x(), header->rect().center().y()), header);
    }
};

QTEST_MAIN(TestListViewAccessible)
#include "test_listviewaccessible.moc"
