// quillet-map's --png is the window's map area, pixel for pixel, as the view paints it.
#include "cli/mapcli.h"
#include "tests/testutil.h"
#include "view/mapcolors.h"
#include "view/mapview.h"
#include "view/textdraw.h"

#include <QtTest>

#include <sstream>

using namespace testutil;

class TestMapPicture : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void pictureIsTheWindowsPaint_data() {
        // failing: reads of it fail over a range, which the picture must show
        Columns<QString, QString, QSize, QString>("file1", "file2", "size", "failing");
        for (QSize size : {QSize(1024, 768), QSize(997, 6)})
            QTest::addRow("sample pair, %dx%d", size.width(), size.height())
                << QUILLET_SOURCE_DIR "/samples/primary.bin"
                << QUILLET_SOURCE_DIR "/samples/secondary.bin" << size << "";
        QByteArray changed = Pattern(2200000); // several blocks per square at the largest pitch
        for (int i = 0; i < changed.size(); i += 77777)
            changed[i] = char(~changed[i]);
        WriteFile(m_dir, "long", Pattern(3000000)), WriteFile(m_dir, "short", changed);
        QTest::newRow("read errors, 333x200")
            << m_dir.filePath("long") << m_dir.filePath("short") << QSize(333, 200) << "short";
    }
    void pictureIsTheWindowsPaint() {
        const auto [file1, file2, size, failing] =
            Fetch<QString, QString, QSize, QString>("file1", "file2", "size", "failing");
        const QString strPng = m_dir.filePath(QTest::currentDataTag() + QString(".png"));
        CInstalledFaultyFileSystem faulty; // for both runs alike
        std::tie(faulty.strFailPath, faulty.nFailFirst, faulty.nFailEnd) =
            std::tuple(failing.toStdString(), 500000, 900000);
        std::ostringstream out, err;
        const QString strSize = QString("--size=%1x%2").arg(size.width()).arg(size.height());
        QCOMPARE(RunMap(StdList({strSize, "--png=" + strPng, file1, file2}), out, err, false),
                 failing.isEmpty() ? 1 : 2);
        const QImage picture = QImage(strPng).convertToFormat(QImage::Format_RGB32);
        CJobRun run; // the window's, in a view of the map area's size
        run.states.Allocate(size.width(), size.height());
        CMapView view(run.states, nullptr, size);
        view.resize(size);
        view.SetTotalLength(uint64_t(std::max(QFileInfo(file1).size(), QFileInfo(file2).size())));
        QVERIFY(run.Run(file1.toStdString(), file2.toStdString(), view.GetGeometry().m_nTotalLength,
                        view.GetGeometry().m_nBlockSize, {}, true));
        QCOMPARE(picture, view.grab().toImage().convertToFormat(QImage::Format_RGB32));
        const int32_t P = view.GetGeometry().m_nPitch; // squares P - 1 wide from (1, 1)
        for (int32_t x = 0; x <= 2 * P; ++x) // the first two, and the background round them
            for (int32_t y = 0; y <= P; ++y)
                QCOMPARE(picture.pixelColor(x, y),
                         ColorFromRef(x % P && y % P ? StateColor(run.states.GroupMax(x / P))
                                                     : CLR_MAP_BACKGROUND));
    }
};

QTEST_MAIN(TestMapPicture)
#include "tst_mappicture.moc"
