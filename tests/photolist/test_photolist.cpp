#include "photolist/photolist.h"

#include <QSignalSpy>
#include <QTest>

class TestPhotoList : public QObject {
    Q_OBJECT
private slots:
    void appendsUpToTheSixteenBitLimit() {
        PhotoList list;
        QSignalSpy appended(&list, &PhotoList::rowAppended);
        for (int i = 0; i < PhotoList::kMaxRows; ++i)
            QCOMPARE(list.append({}), i);
        QVERIFY(list.isFull());
        QCOMPARE(list.append({}), -1);
        QCOMPARE(list.count(), PhotoList::kMaxRows);
        QCOMPARE(appended.count(), PhotoList::kMaxRows);
    }

    void statusSetsTextAndIconTogether() {
        PhotoList list;
        list.append({});
        QSignalSpy changed(&list, &PhotoList::rowChanged);
        list.setStatus(0, status::kWritten, RowIcon::Done);
        QCOMPARE(list.row(0).texts[ColStatus], QStringLiteral("处理成功！"));
        QCOMPARE(list.row(0).icon, RowIcon::Done);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().first().toInt(), 0);
    }

    void clearRemovesEveryRow() {
        PhotoList list;
        list.append({});
        list.append({});
        QSignalSpy cleared(&list, &PhotoList::cleared);
        list.clear();
        QCOMPARE(list.count(), 0);
        QCOMPARE(cleared.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPhotoList)
#include "test_photolist.moc"
