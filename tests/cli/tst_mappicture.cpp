#include "cli/mappng.h"
#include "engine/blockstatearray.h"
#include "engine/comparejob.h"
#include "engine/inputfile.h"
#include "tests/testutil.h"
#include "view/cellgeometry.h"
#include "view/colorref.h"
#include "view/mapcolors.h"
#include "view/mapview.h"
#include "view/textdraw.h"

#include <QProcess>
#include <QtTest>

#include <algorithm>

using namespace testutil;

namespace {

class CDoneSink : public IJobSink {
public:
    void PostProgress() override {}
    void PostFinished() override { m_bDone.store(true); }
    std::atomic<bool> m_bDone{false};
};

// Runs a whole comparison of the two files into states, in blocks of nBlockSize.
bool Compare(const std::string& strPath1, const std::string& strPath2, uint64_t nLength,
             uint32_t nBlockSize, CBlockStateArray& states) {
    std::atomic<uint8_t> bAbort{0};
    CLockedText error1;
    CLockedText error2;
    CDoneSink sink;
    CJobSetup setup{strPath1, strPath2, nLength, nBlockSize, &states,
                    &bAbort,  &error1,  &error2, &sink};
    CCompareJob* pJob = nullptr;
    std::string strError;
    if (!StartCompareJob(pJob, setup, strError))
        return false;
    const bool bDone = QTest::qWaitFor([&] { return sink.m_bDone.load(); }, 60000);
    pJob->Join();
    delete pJob;
    return bDone && error1.Get().empty() && error2.Get().empty();
}

uint64_t LongerLength(const std::string& strPath1, const std::string& strPath2) {
    CInputFile file1;
    CInputFile file2;
    if (!file1.Open(strPath1) || !file2.Open(strPath2))
        return 0;
    return std::max(file1.GetSize(), file2.GetSize());
}

// The map view's paint at w x h after the comparison, its state array sized as the window
// sizes it when w x h is its largest map area.
QImage ViewPaint(const std::string& strPath1, const std::string& strPath2, int w, int h) {
    CBlockStateArray states;
    states.Allocate(w, h);
    CMapView view(states, nullptr, QSize(w, h));
    view.resize(w, h);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return {};
    view.SetTotalLength(LongerLength(strPath1, strPath2));
    const CCellGeometry& geometry = view.GetGeometry();
    if (!Compare(strPath1, strPath2, geometry.m_nTotalLength, geometry.m_nBlockSize, states))
        return {};
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The picture the scanner's own code writes, made in this process so that a test's file
// layer is in force: the array and geometry set up as quillet-map sets them.
QImage PictureInProcess(const std::string& strPath1, const std::string& strPath2, int w, int h,
                        const QString& strPng) {
    CBlockStateArray states;
    states.Allocate(w, h);
    CCellGeometry geometry(states);
    geometry.SetTotalLength(LongerLength(strPath1, strPath2), w, h);
    CPngOutput png;
    std::string strError;
    if (!png.Create(strPng.toStdString(), strError) ||
        !Compare(strPath1, strPath2, geometry.m_nTotalLength, geometry.m_nBlockSize, states))
        return {};
    std::unique_ptr<uint32_t[]> pPixels = RenderMap(geometry, states, w, h);
    if (!pPixels || !png.Commit(pPixels.get(), w, h, strError))
        return {};
    return QImage(strPng).convertToFormat(QImage::Format_RGB32);
}

// The first pixel where the two differ, or a null point when they are the same.
QString FirstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return QString("sizes %1x%2 and %3x%4")
            .arg(a.width())
            .arg(a.height())
            .arg(b.width())
            .arg(b.height());
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return QString("(%1, %2): %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16);
    return {};
}

bool HasColor(const QImage& image, COLORREF clr) {
    const QRgb rgb = ColorFromRef(clr).rgb();
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* pRow = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        if (std::find(pRow, pRow + image.width(), rgb) != pRow + image.width())
            return true;
    }
    return false;
}

} // namespace

class TestMapPicture : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void pictureIsTheWindowsPaint_data();
    void pictureIsTheWindowsPaint();
    void emptyFilesGiveTheBackground();
};

void TestMapPicture::pictureIsTheWindowsPaint_data() {
    QTest::addColumn<QString>("file1");
    QTest::addColumn<QString>("file2");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("failPath");   // reads of this file fail over a range; empty: none
    QTest::addColumn<QList<uint>>("colors"); // each must show somewhere

    const QString strPrimary = QUILLET_SOURCE_DIR "/samples/primary.bin";
    const QString strSecondary = QUILLET_SOURCE_DIR "/samples/secondary.bin";
    const QList<uint> sampleColors = {StateColor(BLOCK_EQUAL), StateColor(BLOCK_DIFFERENT),
                                      StateColor(BLOCK_LENGTH_DIFFERS), CLR_MAP_BACKGROUND};
    QTest::newRow("sample pair, default size")
        << strPrimary << strSecondary << QSize(1024, 768) << "" << sampleColors;
    QTest::newRow("sample pair, odd size")
        << strPrimary << strSecondary << QSize(333, 200) << "" << sampleColors;
    QTest::newRow("sample pair, one row of squares")
        << strPrimary << strSecondary << QSize(997, 6) << "" << sampleColors;

    // Long enough for several blocks per square at the largest pitch.
    QByteArray bytes = Pattern(3000000);
    QByteArray changed = bytes.left(2200000);
    for (int i = 0; i < changed.size(); i += 77777)
        changed[i] = char(~changed[i]);
    const QString strLong = QString::fromStdString(WriteFile(m_dir, "long", bytes));
    const QString strShort = QString::fromStdString(WriteFile(m_dir, "short-changed", changed));
    QTest::newRow("scattered differences, 640x480")
        << strLong << strShort << QSize(640, 480) << "" << sampleColors;
    QTest::newRow("read errors, 333x200")
        << strLong << strShort << QSize(333, 200) << "short-changed"
        << QList<uint>{StateColor(BLOCK_READ_ERROR), StateColor(BLOCK_DIFFERENT)};
}

void TestMapPicture::pictureIsTheWindowsPaint() {
    QFETCH(QString, file1);
    QFETCH(QString, file2);
    QFETCH(QSize, size);
    QFETCH(QString, failPath);
    QFETCH(QList<uint>, colors);
    const QString strPng =
        m_dir.filePath(QString("map-%1x%2.png").arg(size.width()).arg(size.height()));
    QFile::remove(strPng);
    CFaultyFileSystem faulty;
    faulty.strFailPath = failPath.toStdString();
    faulty.nFailFirst = 500000;
    faulty.nFailEnd = 900000;
    CInstalledFileSystem installed(&faulty);

    QImage picture;
    if (failPath.isEmpty()) {
        QProcess process;
        process.start(QUILLET_BIN_DIR "/quillet-map",
                      {QString("--size=%1x%2").arg(size.width()).arg(size.height()),
                       "--png=" + strPng, "--", file1, file2});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.readAllStandardError(), QByteArray());
        QCOMPARE(process.exitCode(), 1);
        picture = QImage(strPng).convertToFormat(QImage::Format_RGB32);
    } else {
        picture = PictureInProcess(file1.toStdString(), file2.toStdString(), size.width(),
                                   size.height(), strPng);
    }
    const QImage paint =
        ViewPaint(file1.toStdString(), file2.toStdString(), size.width(), size.height());
    QVERIFY(!picture.isNull() && !paint.isNull());
    QCOMPARE(FirstDifference(picture, paint), QString());
    for (uint clr : colors)
        QVERIFY2(HasColor(picture, clr), qPrintable(QString::number(clr, 16)));
}

void TestMapPicture::emptyFilesGiveTheBackground() {
    const QString strEmpty = QString::fromStdString(WriteFile(m_dir, "empty", {}));
    const QString strPng = m_dir.filePath("empty.png");
    QProcess process;
    process.start(QUILLET_BIN_DIR "/quillet-map",
                  {"--png=" + strPng, "--size=40x30", strEmpty, strEmpty});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QImage expected(40, 30, QImage::Format_RGB32);
    expected.fill(ColorFromRef(CLR_MAP_BACKGROUND));
    QCOMPARE(FirstDifference(QImage(strPng).convertToFormat(QImage::Format_RGB32), expected),
             QString());
}

QTEST_MAIN(TestMapPicture)
#include "tst_mappicture.moc"
