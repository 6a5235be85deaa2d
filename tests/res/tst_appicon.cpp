#include "res/appicon.h"

#include <QImage>
#include <QtTest>

// The window draws its icon in code, the desktop shows the installed SVG's renderings: a
// user must see the same picture in both places.
class TestAppIcon : public QObject {
    Q_OBJECT

private slots:
    void installedIconShowsTheWindowsIcon_data();
    void installedIconShowsTheWindowsIcon();
};

void TestAppIcon::installedIconShowsTheWindowsIcon_data() {
    QTest::addColumn<int>("nSize");
    // Whole multiples of 16 only: at 24 pixels a cell edge falls inside a pixel.
    for (int nSize : {16, 32, 48, 64, 128, 256})
        QTest::newRow(qPrintable(QString::number(nSize))) << nSize;
}

void TestAppIcon::installedIconShowsTheWindowsIcon() {
    QFETCH(int, nSize);
    const QString strPath = QStringLiteral(QUILLET_BIN_DIR "/../icons/%1x%1/"
                                                           "io.github.quillet.tavrel.png")
                                .arg(nSize);
    QImage rendered(strPath);
    QVERIFY2(!rendered.isNull(), qPrintable(strPath));
    QImage drawn = LoadAppIcon().pixmap(16, 16).toImage().scaled(nSize, nSize);
    QCOMPARE(rendered.convertToFormat(QImage::Format_RGB32),
             drawn.convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
