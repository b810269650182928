#pragma once
// Small file and list helpers shared by the tests.

#include "photolist/photolist.h"

#include <QFile>
#include <QStringList>
#include <QTest>

// Writes bytes to path; a failure fails the calling test.
inline void writeFile(const QString& path, const QByteArray& bytes = "x") {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The file-name column of every row, in order.
inline QStringList rowNames(const PhotoList& list) {
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names.append(list.row(i).texts[ColFileName]);
    return names;
}
