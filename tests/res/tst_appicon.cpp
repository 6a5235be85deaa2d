// The window draws its icon in code, the desktop shows the installed SVG's renderings: a user
// must see the same picture in both places.
#include "res/appicon.h"

#include <QImage>
#include <QtTest>

class TestAppIcon : public QObject {
    Q_OBJECT

private slots:
    void installedIconShowsTheWindowsIcon() {
        // Whole multiples of 16 only: at 24 pixels a cell edge falls inside a pixel.
        for (int nSize : {16, 32, 48, 64, 128, 256}) {
            const QString strPath =
                QString(QUILLET_BIN_DIR "/../icons/%1x%1/io.github.quillet.tavrel.png").arg(nSize);
            // A missing file loads as a null picture, which equals no drawing.
            const QImage drawn = LoadAppIcon().pixmap(16, 16).toImage().scaled(nSize, nSize);
            QVERIFY2(QImage(strPath).convertToFormat(QImage::Format_RGB32) ==
                         drawn.convertToFormat(QImage::Format_RGB32),
                     qPrintable(strPath));
        }
    }
};

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
