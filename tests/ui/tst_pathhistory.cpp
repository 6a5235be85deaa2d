#include "tests/testutil.h"
#include "ui/pathhistory.h"

#include <QtTest>

using namespace testutil;

class TestPathHistory : public QObject {
    Q_OBJECT

private slots:
    void addRecent_data() {
        Columns<QStringList, QStringList>("added", "entries");
        QStringList seventeen;
        for (int i = 0; i <= 16; ++i)
            seventeen << QString("/data/p%1.bin").arg(i);
        const QStringList newestFirst(seventeen.crbegin(), seventeen.crend());
        QTest::newRow("most recent first")
            << QStringList{"a", "b", "c"} << QStringList{"c", "b", "a"};
        QTest::newRow("already first stays") << QStringList{"a", "b", "b"} << QStringList{"b", "a"};
        QTest::newRow("moves to the front")
            << QStringList{"a", "b", "c", "a"} << QStringList{"a", "c", "b"};
        QTest::newRow("letter case tells names apart")
            << QStringList{"/d/a.bin", "/d/A.bin"} << QStringList{"/d/A.bin", "/d/a.bin"};
        QTest::newRow("oldest dropped") << seventeen << newestFirst.mid(0, 16);
        QTest::newRow("moving at the limit drops nothing")
            << seventeen.mid(0, 16) + QStringList{seventeen[0]}
            << QStringList{seventeen[0]} + newestFirst.mid(1, 15);
    }
    void addRecent() {
        const auto [added, entries] = Fetch<QStringList, QStringList>("added", "entries");
        CPathHistory history;
        for (const QString& path : added)
            history.AddRecent(path.toStdString());
        QStringList result;
        for (const std::string& entry : history.GetEntries())
            result << QString::fromStdString(entry);
        QCOMPARE(result, entries);
    }
};

QTEST_GUILESS_MAIN(TestPathHistory)
#include "tst_pathhistory.moc"
