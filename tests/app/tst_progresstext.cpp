#include "app/progresstext.h"

#include <QtTest>

class TestProgressText : public QObject {
    Q_OBJECT

private slots:
    void elapsed_data();
    void elapsed();
    void progress_data();
    void progress();
    void maxMapSize_data();
    void maxMapSize();
    void initialWindowRect_data();
    void initialWindowRect();
};

void TestProgressText::elapsed_data() {
    QTest::addColumn<qlonglong>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing yet") << 0ll << "0s";
    QTest::newRow("1 ms") << 1ll << "0.001s";
    QTest::newRow("quarter second") << 250ll << "0.250s";
    QTest::newRow("4.999 s") << 4999ll << "4.999s";
    QTest::newRow("5 s") << 5000ll << "5s";
    QTest::newRow("59.999 s") << 59999ll << "59s";
    QTest::newRow("one minute") << 60000ll << "1:00s";
    QTest::newRow("2:05") << 125000ll << "2:05s";
    QTest::newRow("one hour less 1 ms") << 3599999ll << "59:59s";
    QTest::newRow("one hour") << 3600000ll << "1:00:00s";
    QTest::newRow("1:02:03") << 3723000ll << "1:02:03s";
    QTest::newRow("100 hours") << 360000000ll << "100:00:00s";
    QTest::newRow("clock went back") << -5ll << "0s";
}

void TestProgressText::elapsed() {
    QFETCH(qlonglong, ms);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(FormatElapsed(ms)), text);
}

void TestProgressText::progress_data() {
    QTest::addColumn<int>("progress"); // hundredths of a percent; -1: the finish text
    QTest::addColumn<QString>("elapsed");
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << 0 << "0s"
                           << "0.00% in 0s";
    QTest::newRow("5") << 5 << "0.250s"
                       << "0.05% in 0.250s";
    QTest::newRow("1234") << 1234 << "3.042s"
                          << "12.34% in 3.042s";
    QTest::newRow("10000") << 10000 << "42s"
                           << "100.00% in 42s";
    QTest::newRow("finished") << -1 << "1:02:03s"
                              << "100% in 1:02:03s";
}

void TestProgressText::progress() {
    QFETCH(int, progress);
    QFETCH(QString, elapsed);
    QFETCH(QString, text);
    std::string strElapsed = elapsed.toStdString();
    QCOMPARE(QString::fromStdString(progress < 0 ? FormatFinished(strElapsed)
                                                 : FormatProgress(progress, strElapsed)),
             text);
}

void TestProgressText::maxMapSize_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<int>("caption");
    QTest::addColumn<int>("strip");
    QTest::addColumn<QSize>("area");
    QTest::newRow("1024 x 768") << QSize(1024, 768) << 18 << 19 << QSize(1020, 723);
    QTest::newRow("1920 x 1080") << QSize(1920, 1080) << 30 << 25 << QSize(1916, 1017);
}

void TestProgressText::maxMapSize() {
    QFETCH(QSize, screen);
    QFETCH(int, caption);
    QFETCH(int, strip);
    QFETCH(QSize, area);
    CSize size = GetMaxMapSize(screen.width(), screen.height(), caption, strip);
    QCOMPARE(QSize(size.cx, size.cy), area);
}

void TestProgressText::initialWindowRect_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("1024 x 768") << QSize(1024, 768) << QRect(128, 64, 768, 576);
    QTest::newRow("1366 x 768") << QSize(1366, 768) << QRect(171, 64, 1023, 576);
    QTest::newRow("1920 x 1080") << QSize(1920, 1080) << QRect(240, 90, 1440, 810);
    // Each side is divided by 4 before it is multiplied by 3.
    QTest::newRow("sides not multiples of 4") << QSize(1023, 767) << QRect(129, 64, 765, 573);
}

void TestProgressText::initialWindowRect() {
    QFETCH(QSize, screen);
    QFETCH(QRect, rect);
    CRect r = InitialWindowRect(screen.width(), screen.height());
    QCOMPARE(QRect(QPoint(r.left, r.top), QSize(r.right - r.left, r.bottom - r.top)), rect);
}

QTEST_GUILESS_MAIN(TestProgressText)
#include "tst_progresstext.moc"
