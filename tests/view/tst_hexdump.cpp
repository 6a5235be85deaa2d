#include "engine/filelayout.h"
#include "engine/inputfile.h"
#include "tests/testutil.h"
#include "view/hexdump.h"

#include <QtTest>

using namespace testutil;

namespace {
// The cell detail text: the range, then the lines of each file.
QByteArray Text(const char* pszRange, const QByteArray& lines1, const QByteArray& lines2) {
    return QByteArray("[") + pszRange + "]\n" + QByteArray(57, '=') + "\n" + lines1 +
           QByteArray(57, '-') + "\n" + lines2 + QByteArray(57, '=');
}

// nLines dump lines of zero bytes from offset nAt on; long addresses from 4 GiB on.
QByteArray Zeros(uint64_t nAt, int nLines = 1) {
    QByteArray lines;
    for (uint64_t n = nAt; n < nAt + 16 * uint64_t(nLines); n += 16)
        lines += (n >> 32 ? QString::asprintf("%08X`%08X:", unsigned(n >> 32), unsigned(n))
                          : QString::asprintf("%08X:", unsigned(n)))
                     .toLatin1() +
                 " 00 00 00 00-00 00 00 00-00 00 00 00-00 00 00 00\n";
    return lines;
}

// The same lines with the bracketed 00 of the first file as the 01 of the second.
QByteArray AsSecond(QByteArray lines) {
    return lines.replace("[00]", "[01]");
}
} // namespace

class TestHexDump : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    static QByteArray Dump(const std::string& strPath1, const std::string& strPath2,
                           uint64_t nFirst, uint64_t nLast) {
        CInputFile file1;
        CInputFile file2;
        if (!file1.Open(strPath1) || !file2.Open(strPath2))
            return "cannot open";
        return QByteArray::fromStdString(BuildHexDump(file1, file2, nFirst, nLast));
    }

private slots:
    void formatRange() {
        QCOMPARE(FormatRange(0xFFFF0000, 0xFFFFFFFF), std::string("FFFF0000 - FFFFFFFF"));
        QCOMPARE(FormatRange(0xFFFFFF00, 0x1000000FF),
                 std::string("00000000`FFFFFF00 - 00000001`000000FF"));
    }

    void workedExample() {
        QByteArray first(0x100, Qt::Uninitialized);
        for (int i = 0; i < first.size(); ++i)
            first[i] = char((i * 7 + 3) & 0xFF);
        QByteArray second = first.left(0xB8);
        second[0x86] = char(0x52);
        second[0x87] = char(0x4B);
        second[0x8F] = char(0x13);
        const QByteArray expected = "[00000080 - 000000BF]\n"
                                    "=========================================================\n"
                                    "00000080: 83 8A 91 98-9F A6[AD B4]BB C2 C9 D0-D7 DE E5[EC]\n"
                                    "00000090: F3 FA 01 08-0F 16 1D 24-2B 32 39 40-47 4E 55 5C\n"
                                    "000000A0: 63 6A 71 78-7F 86 8D 94-9B A2 A9 B0-B7 BE C5 CC\n"
                                    "000000B0: D3 DA E1 E8-EF F6 FD 04-0B 12 19 20-27 2E 35 3C\n"
                                    "---------------------------------------------------------\n"
                                    "00000080: 83 8A 91 98-9F A6[52 4B]BB C2 C9 D0-D7 DE E5[13]\n"
                                    "00000090: F3 FA 01 08-0F 16 1D 24-2B 32 39 40-47 4E 55 5C\n"
                                    "000000A0: 63 6A 71 78-7F 86 8D 94-9B A2 A9 B0-B7 BE C5 CC\n"
                                    "000000B0: D3 DA E1 E8-EF F6 FD 04                        \n"
                                    "=========================================================";
        QCOMPARE(Dump(WriteFile(m_dir, "example 1", first), WriteFile(m_dir, "example 2", second),
                      0x80, 0xBF),
                 expected);
    }

    // Both files are zeros, the second with 01 at the patched offset; reads of the first
    // fail over [failFirst, failEnd), where it has zeros written, since only stored bytes
    // can fail to be read; the rest are holes.
    void dumpOfZeros_data() {
        // patch: past the second file for none
        Columns<qulonglong, qulonglong, qulonglong, qulonglong, qulonglong, qulonglong, qulonglong,
                QByteArray>("length1", "length2", "patch", "first", "last", "failFirst", "failEnd",
                            "text");
        QTest::newRow("length only")
            << 0x200ull << 0x175ull << 0x175ull << 0x100ull << 0x1FFull << 0ull << 0ull
            << Text("00000100 - 000001FF", Zeros(0x150, 5),
                    Zeros(0x150, 2) + "00000170: 00 00 00 00-00" + QByteArray(33, ' ') + "\n");
        const QByteArray above =
            Zeros(0x100000020, 2) +
            "00000001`00000040: 00 00 00 00-00 00 00[00]00 00 00 00-00 00 00 00\n" +
            Zeros(0x100000050, 2);
        QTest::newRow("above 4 GiB, two lines before the difference")
            << 0x100010000ull << 0x100010000ull << 0x100000047ull << 0x100000000ull
            << 0x10000FFFFull << 0ull << 0ull
            << Text("00000001`00000000 - 00000001`0000FFFF", above, AsSecond(above));
        const QByteArray at40 = "00000040:[00]00 00 00-00 00 00 00-00 00 00 00-00 00 00 00\n";
        QTest::newRow("unreadable after the difference")
            << 0x100ull << 0x100ull << 0x40ull << 0ull << 0xFFull << 0x60ull << 0x80ull
            << Text("00000000 - 000000FF", Zeros(0x20, 2) + at40 + Zeros(0x50),
                    Zeros(0x20, 2) + AsSecond(at40) + Zeros(0x50, 2));
        QTest::newRow("nothing readable")
            << 0x100ull << 0x100ull << 0x40ull << 0ull << 0xFFull << 0ull << 0x100ull
            << Text("00000000 - 000000FF", "",
                    Zeros(0, 4) + "00000040: 01 00 00 00-00 00 00 00-00 00 00 00-00 00 00 00\n");
    }
    void dumpOfZeros() {
        const auto [length1, length2, patch, first, last, failFirst, failEnd, text] =
            Fetch<qulonglong, qulonglong, qulonglong, qulonglong, qulonglong, qulonglong,
                  qulonglong, QByteArray>("length1", "length2", "patch", "first", "last",
                                          "failFirst", "failEnd", "text");
        CInstalledFaultyFileSystem fs;
        fs.strFailPath = "zeros1";
        fs.nFailFirst = failFirst;
        fs.nFailEnd = failEnd;
        QCOMPARE(Dump(WriteFile(m_dir, "zeros1", QByteArray(qsizetype(failEnd - failFirst), '\0'),
                                length1, failFirst),
                      WriteFile(m_dir, "zeros2", patch < length2 ? "\x01" : "", length2, patch),
                      first, last),
                 text);
    }

    // A 64 MiB cell is read once in chunks of at most 1 MiB, then only the bytes shown; a
    // difference early in it ends the scan there. The files are sparse only to be made
    // quickly: they are read as data here (holes are passed over unread, tst_holes).
    void largeCellIsScannedInChunks() {
        SetHoleSkipping(false);
        const auto restore = qScopeGuard([] { SetHoleSkipping(true); });
        const uint64_t nCell = 64ull << 20;
        const std::string strZeros = WriteFile(m_dir, "large1", {}, nCell);
        CInstalledFaultyFileSystem fs;
        const QByteArray end =
            Zeros(0x3FFFFD0, 2) + "03FFFFF0: 00 00 00 00-00 00 00 00-00 00 00 00-00 00 00[00]\n";
        QCOMPARE(Dump(strZeros, WriteFile(m_dir, "large2", "\x01", nCell, nCell - 1), 0, nCell - 1),
                 Text("00000000 - 03FFFFFF", end, AsSecond(end)));
        QVERIFY(fs.nLargest > 0 && fs.nLargest <= size_t(1) << 20);
        QCOMPARE(fs.nAsked.load(), 2 * nCell + 2 * 48);

        fs.nAsked = 0;
        const QByteArray text =
            Dump(strZeros, WriteFile(m_dir, "early2", "\x01", nCell, 16), 0, nCell - 1);
        QVERIFY(text.contains("\n00000010:[01]00"));
        QVERIFY(fs.nAsked <= 2 * (1ull << 20) + 2 * 80);
    }
};

QTEST_GUILESS_MAIN(TestHexDump)
#include "tst_hexdump.moc"
