#include "app/progresstext.h"
#include "tests/testutil.h"

#include <QRect>
#include <QtTest>

using namespace testutil;

class TestProgressText : public QObject {
    Q_OBJECT

private slots:
    void elapsed_data() {
        Columns<qlonglong, QString>("ms", "text");
        QTest::newRow("nothing yet") << 0ll << "0s";
        QTest::newRow("clock went back") << -5ll << "0s";
        QTest::newRow("1 ms") << 1ll << "0.001s";
        QTest::newRow("4.999 s") << 4999ll << "4.999s";
        QTest::newRow("5 s") << 5000ll << "5s";
        QTest::newRow("2:05") << 125000ll << "2:05s";
        QTest::newRow("1:02:03") << 3723000ll << "1:02:03s";
    }
    void elapsed() {
        const auto [ms, text] = Fetch<qlonglong, QString>("ms", "text");
        QCOMPARE(QString::fromStdString(FormatElapsed(ms)), text);
    }

    void progress() {
        QCOMPARE(FormatProgress(5, "0.250s"), std::string("0.05% in 0.250s"));
        QCOMPARE(FormatProgress(10000, "42s"), std::string("100.00% in 42s"));
        QCOMPARE(FormatFinished("1:02:03s"), std::string("100% in 1:02:03s"));
    }

    // Each side is divided by 4 before it is multiplied by 3.
    void screenAreas_data() {
        // maxMap: with a caption of 18 and a strip of 19
        Columns<QSize, QSize, QRect>("screen", "maxMap", "window");
        QTest::newRow("1024 x 768")
            << QSize(1024, 768) << QSize(1020, 723) << QRect(128, 64, 768, 576);
        QTest::newRow("1023 x 767")
            << QSize(1023, 767) << QSize(1019, 722) << QRect(129, 64, 765, 573);
    }
    void screenAreas() {
        const auto [screen, maxMap, window] =
            Fetch<QSize, QSize, QRect>("screen", "maxMap", "window");
        const CSize size = GetMaxMapSize(screen.width(), screen.height(), 18, 19);
        QCOMPARE(QSize(size.cx, size.cy), maxMap);
        const CRect r = InitialWindowRect(screen.width(), screen.height());
        QCOMPARE(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)), window);
    }
};

QTEST_GUILESS_MAIN(TestProgressText)
#include "tst_progresstext.moc"
