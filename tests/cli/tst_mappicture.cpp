// quillet-map's --png is the window's map area, pixel for pixel, as the view paints it.
#include "cli/mapcli.h"
#include "tests/testutil.h"
#include "view/cellgeometry.h"
#include "view/mapcolors.h"
#include "view/mapview.h"
#include "view/textdraw.h"

#include <QtTest>

#include <random>
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

    // --align draws file 1's offsets: equal before the edit, the edit's cells in its colour, and
    // shifted (sky blue) after it, as CAlignment::WorstKind ranks them.
    void alignedPicture_data() {
        Columns<qsizetype, qsizetype, QColor>("at", "deleted", "colour"); // deleted 0: 1 inserted
        QTest::newRow("1 byte inserted")
            << qsizetype(1234567) << qsizetype(0) << QColor(192, 96, 224);
        QTest::newRow("70000 bytes deleted")
            << qsizetype(2000000) << qsizetype(70000) << QColor(255, 176, 64);
    }
    void alignedPicture() {
        const auto [at, deleted, edited] =
            Fetch<qsizetype, qsizetype, QColor>("at", "deleted", "colour");
        QByteArray bytes(3000000, Qt::Uninitialized);
        std::mt19937 generator(24);
        for (char& c : bytes)
            c = char(generator());
        const std::string strPath1 = WriteFile(m_dir, "aligned1", bytes);
        const std::string strPath2 =
            WriteFile(m_dir, "aligned2",
                      deleted ? QByteArray(bytes).remove(at, deleted) : bytes.insert(at, 'Q'));
        const QString strPng = m_dir.filePath("aligned.png");
        std::ostringstream out, err;
        QCOMPARE(RunMap({"--align", "--size=333x200", "--png=" + strPng.toStdString(), strPath1,
                         strPath2},
                        out, err, false),
                 1);
        const QImage picture = QImage(strPng).convertToFormat(QImage::Format_RGB32);
        CBlockStateArray states; // the window's arithmetic for file 1's length
        states.Allocate(333, 200);
        CCellGeometry geometry(states);
        geometry.SetTotalLength(3000000, 333, 200);
        const CCellGeometry::CPaintNumbers numbers = geometry.PrepareForPaint(333, 200);
        const auto C = qsizetype(geometry.m_nCellSize);
        QVERIFY(numbers.nCells > 10 && at / C > 0); // cells on both sides of the edit
        for (uint32_t i = 0; i < numbers.nCells; ++i) {
            const qsizetype first = qsizetype(i) * C, end = first + C;
            const QColor colour = end <= at ? ColorFromRef(StateColor(BLOCK_EQUAL))
                                  : first > at + deleted - (deleted != 0) ? QColor(96, 200, 255)
                                                                          : edited;
            int32_t x = 0, y = 0;
            CCellGeometry::CellOrigin(int32_t(i), numbers.nPitch, 333, x, y);
            QVERIFY2(picture.pixelColor(x, y) == colour, qPrintable(QString("cell %1").arg(i)));
        }
        QCOMPARE(picture.pixelColor(0, 0), ColorFromRef(CLR_MAP_BACKGROUND));
    }
};

QTEST_MAIN(TestMapPicture)
#include "tst_mappicture.moc"
