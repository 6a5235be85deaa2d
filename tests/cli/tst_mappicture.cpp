#include "cli/mapcli.h"
#include "tests/testutil.h"
#include "view/cellgeometry.h"
#include "view/colorref.h"
#include "view/mapcolors.h"
#include "view/mapview.h"
#include "view/textdraw.h"

#include <QtTest>

#include <algorithm>
#include <sstream>

using namespace testutil;

namespace {

// The view paints no map before a comparison; a picture of empty files is the background.
QImage ViewPaint(const QString& strPath1, const QString& strPath2, QSize size) {
    const auto nLength = uint64_t(std::max(QFileInfo(strPath1).size(), QFileInfo(strPath2).size()));
    QImage image(size, QImage::Format_RGB32);
    image.fill(ColorFromRef(CLR_MAP_BACKGROUND));
    if (nLength == 0)
        return image;
    CJobRun run;
    run.states.Allocate(size.width(), size.height());
    CMapView view(run.states, nullptr, size);
    view.resize(size);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return {};
    view.SetTotalLength(nLength);
    const CCellGeometry& geometry = view.GetGeometry();
    if (!run.Run(strPath1.toStdString(), strPath2.toStdString(), geometry.m_nTotalLength,
                 geometry.m_nBlockSize, {}, true))
        return {};
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool HasColor(const QImage& image, COLORREF clr) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == ColorFromRef(clr).rgb())
                return true;
    return false;
}

} // namespace

class TestMapPicture : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void pictureIsTheWindowsPaint_data();
    void pictureIsTheWindowsPaint();
};

void TestMapPicture::pictureIsTheWindowsPaint_data() {
    // failPath: reads of this file fail over a range; colors: each must show somewhere;
    // range: the part compared, whose picture is the window's of files holding just that part.
    Columns<QString, QString, QSize, QString, int, QList<uint>, QString>(
        "file1", "file2", "size", "failPath", "status", "colors", "range");
    const QString strPrimary = QUILLET_SOURCE_DIR "/samples/primary.bin";
    const QString strSecondary = QUILLET_SOURCE_DIR "/samples/secondary.bin";
    const QList<uint> sampleColors = {StateColor(BLOCK_EQUAL), StateColor(BLOCK_DIFFERENT),
                                      StateColor(BLOCK_LENGTH_DIFFERS), CLR_MAP_BACKGROUND};
    for (QSize size : {QSize(1024, 768), QSize(333, 200), QSize(997, 6)})
        QTest::addRow("sample pair, %dx%d", size.width(), size.height())
            << strPrimary << strSecondary << size << "" << 1 << sampleColors << "";
    QTest::newRow("sample pair, a range that starts mid-block, 500x300")
        << strPrimary << strSecondary << QSize(500, 300) << "" << 1 << sampleColors
        << "0x9123:0x7FFFFFFF";

    // Long enough for several blocks per square at the largest pitch.
    QByteArray bytes = Pattern(3000000);
    QByteArray changed = bytes.left(2200000);
    for (int i = 0; i < changed.size(); i += 77777)
        changed[i] = char(~changed[i]);
    const QString strLong = QString::fromStdString(WriteFile(m_dir, "long", bytes));
    const QString strShort = QString::fromStdString(WriteFile(m_dir, "short-changed", changed));
    const QString strEmpty = QString::fromStdString(WriteFile(m_dir, "empty", {}));
    QTest::newRow("scattered differences, 640x480")
        << strLong << strShort << QSize(640, 480) << "" << 1 << sampleColors << "";
    QTest::newRow("read errors, 333x200")
        << strLong << strShort << QSize(333, 200) << "short-changed" << 2
        << QList<uint>{StateColor(BLOCK_READ_ERROR), StateColor(BLOCK_DIFFERENT)} << "";
    QTest::newRow("empty files, 40x30") << strEmpty << strEmpty << QSize(40, 30) << "" << 0
                                        << QList<uint>{CLR_MAP_BACKGROUND} << "";
}

void TestMapPicture::pictureIsTheWindowsPaint() {
    const auto [file1, file2, size, failPath, status, colors, range] =
        Fetch<QString, QString, QSize, QString, int, QList<uint>, QString>(
            "file1", "file2", "size", "failPath", "status", "colors", "range");
    const QString strPng = m_dir.filePath(QTest::currentDataTag() + QString(".png"));
    CFaultyFileSystem faulty;
    faulty.strFailPath = failPath.toStdString();
    faulty.nFailFirst = 500000;
    faulty.nFailEnd = 900000;
    CInstalledFileSystem installed(&faulty);

    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> args = {
        QString("--size=%1x%2").arg(size.width()).arg(size.height()).toStdString(),
        "--png=" + strPng.toStdString(), "--", file1.toStdString(), file2.toStdString()};
    QString strPart1 = file1;
    QString strPart2 = file2;
    if (!range.isEmpty()) {
        args.insert(args.begin(), "--range=" + range.toStdString());
        const qint64 nFirst = range.section(':', 0, 0).toLongLong(nullptr, 0);
        auto part = [&](const QString& strFile, const char* pszName) {
            QFile file(strFile);
            return file.open(QIODevice::ReadOnly) && file.seek(nFirst)
                       ? QString::fromStdString(WriteFile(m_dir, pszName, file.readAll()))
                       : QString();
        };
        strPart1 = part(file1, "range of one");
        strPart2 = part(file2, "range of two");
    }
    QCOMPARE(RunMap(args, out, err, false), status);
    QVERIFY(status == 2 || err.str().empty());
    const QImage picture = QImage(strPng).convertToFormat(QImage::Format_RGB32);
    const QImage paint = ViewPaint(strPart1, strPart2, size);
    QVERIFY(!picture.isNull() && !paint.isNull());
    QCOMPARE(picture, paint);
    for (uint clr : colors)
        QVERIFY2(HasColor(picture, clr), qPrintable(QString::number(clr, 16)));
}

QTEST_MAIN(TestMapPicture)
#include "tst_mappicture.moc"
