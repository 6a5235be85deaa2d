// quillet-map's --png is the window's map area, pixel for pixel, painted by the view itself.
#include "cli/mapcli.h"
#include "tests/testutil.h"
#include "view/cellgeometry.h"
#include "view/colorref.h"
#include "view/mapcolors.h"
#include "view/mapview.h"
#include "view/textdraw.h"

#include <QtTest>

#include <sstream>

using namespace testutil;

// The view paints no map before a comparison; a picture of empty files is the background.
static QImage ViewPaint(const QString& strPath1, const QString& strPath2, QSize size) {
    const auto nLength = uint64_t(std::max(QFileInfo(strPath1).size(), QFileInfo(strPath2).size()));
    QImage image(size, QImage::Format_RGB32);
    image.fill(ColorFromRef(CLR_MAP_BACKGROUND));
    CJobRun run;
    run.states.Allocate(size.width(), size.height());
    CMapView view(run.states, nullptr, size);
    view.resize(size);
    view.show();
    if (nLength == 0 || !QTest::qWaitForWindowExposed(&view))
        return nLength == 0 ? image : QImage();
    view.SetTotalLength(nLength);
    const CCellGeometry& geometry = view.GetGeometry();
    return run.Run(strPath1.toStdString(), strPath2.toStdString(), geometry.m_nTotalLength,
                   geometry.m_nBlockSize, {}, true)
               ? view.grab().toImage().convertToFormat(QImage::Format_RGB32)
               : QImage();
}

class TestMapPicture : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void pictureIsTheWindowsPaint_data() {
        // failing: reads of this file fail over a range; color: a state that must show
        Columns<QString, QString, QSize, QString, int, uint>("file1", "file2", "size", "failing",
                                                             "status", "color");
        const QString strPrimary = QUILLET_SOURCE_DIR "/samples/primary.bin";
        const QString strSecondary = QUILLET_SOURCE_DIR "/samples/secondary.bin";
        for (QSize size : {QSize(1024, 768), QSize(997, 6)})
            QTest::addRow("sample pair, %dx%d", size.width(), size.height())
                << strPrimary << strSecondary << size << "" << 1
                << StateColor(BLOCK_LENGTH_DIFFERS);
        // Long enough for several blocks per square at the largest pitch.
        QByteArray changed = Pattern(2200000);
        for (int i = 0; i < changed.size(); i += 77777)
            changed[i] = char(~changed[i]);
        const QString strLong = QString::fromStdString(WriteFile(m_dir, "long", Pattern(3000000)));
        const QString strShort = QString::fromStdString(WriteFile(m_dir, "short", changed));
        const QString strEmpty = QString::fromStdString(WriteFile(m_dir, "empty", {}));
        QTest::newRow("scattered differences, 640x480")
            << strLong << strShort << QSize(640, 480) << "" << 1 << StateColor(BLOCK_DIFFERENT);
        QTest::newRow("read errors, 333x200") << strLong << strShort << QSize(333, 200) << "short"
                                              << 2 << StateColor(BLOCK_READ_ERROR);
        QTest::newRow("empty files, 40x30")
            << strEmpty << strEmpty << QSize(40, 30) << "" << 0 << uint(CLR_MAP_BACKGROUND);
    }
    void pictureIsTheWindowsPaint() {
        const auto [file1, file2, size, failing, status, color] =
            Fetch<QString, QString, QSize, QString, int, uint>("file1", "file2", "size", "failing",
                                                               "status", "color");
        const QString strPng = m_dir.filePath(QTest::currentDataTag() + QString(".png"));
        CInstalledFaultyFileSystem faulty;
        std::tie(faulty.strFailPath, faulty.nFailFirst, faulty.nFailEnd) =
            std::tuple(failing.toStdString(), 500000, 900000);
        std::ostringstream out;
        std::ostringstream err;
        const QString strSize = QString("--size=%1x%2").arg(size.width()).arg(size.height());
        QCOMPARE(RunMap(StdList({strSize, "--png=" + strPng, file1, file2}), out, err, false),
                 status);
        QVERIFY(status == 2 || err.str().empty());
        const QImage picture = QImage(strPng).convertToFormat(QImage::Format_RGB32);
        QVERIFY(!picture.isNull());
        QCOMPARE(picture, ViewPaint(file1, file2, size));
        const auto* pPixels = reinterpret_cast<const QRgb*>(picture.constBits());
        QVERIFY(std::count(pPixels, pPixels + picture.width() * picture.height(),
                           ColorFromRef(color).rgb()));
    }
};

QTEST_MAIN(TestMapPicture)
#include "tst_mappicture.moc"
