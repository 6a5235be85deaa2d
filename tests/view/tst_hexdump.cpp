#include "engine/inputfile.h"
#include "tests/testutil.h"
#include "view/hexdump.h"
#include "view/hexline.h"

#include <QtTest>

using namespace testutil;

namespace {
const QByteArray kEquals = QByteArray(57, '=');
const QByteArray kHyphens = QByteArray(57, '-');

// A dump line of sixteen zero bytes.
QByteArray Zeros(const char* pszPrefix) {
    return QByteArray(pszPrefix) + " 00 00 00 00-00 00 00 00-00 00 00 00-00 00 00 00\n";
}

// Records the largest single read and the bytes asked for in all.
class CReadSizes : public CFileSystem {
public:
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        nLargest = std::max(nLargest, nCount);
        nAsked += nCount;
        return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    size_t nLargest = 0;
    uint64_t nAsked = 0;
};
} // namespace

class TestHexDump : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QByteArray Dump(const std::string& strPath1, const std::string& strPath2, uint64_t nFirst,
                    uint64_t nLast) {
        CInputFile file1;
        CInputFile file2;
        if (!file1.Open(strPath1) || !file2.Open(strPath2))
            return "cannot open";
        return QByteArray::fromStdString(BuildHexDump(file1, file2, nFirst, nLast));
    }

private slots:
    void formatRange_data();
    void formatRange();
    void formatLine_data();
    void formatLine();
    void workedExample();
    void dumpOfZeros_data();
    void dumpOfZeros();
    void unreadableBytesAreMissing_data();
    void unreadableBytesAreMissing();
    void largeCellIsScannedInChunks();
    void scanStopsAtFirstDifference();
};

void TestHexDump::formatRange_data() {
    QTest::addColumn<qulonglong>("first");
    QTest::addColumn<qulonglong>("last");
    QTest::addColumn<QString>("text");
    QTest::newRow("short") << 0x1000ull << 0x10FFull << "00001000 - 000010FF";
    QTest::newRow("last cell cut") << 0x1000ull << 0x104Full << "00001000 - 0000104F";
    QTest::newRow("ends at 4 GiB") << 0xFFFF0000ull << 0xFFFFFFFFull << "FFFF0000 - FFFFFFFF";
    QTest::newRow("long") << 0x100000000ull << 0x10000FFFFull
                          << "00000001`00000000 - 00000001`0000FFFF";
    QTest::newRow("crosses 4 GiB")
        << 0xFFFFFF00ull << 0x1000000FFull << "00000000`FFFFFF00 - 00000001`000000FF";
    QTest::newRow("longest") << 0x7FFFFFFF00000000ull << 0x7FFFFFFFFFFFFFFFull
                             << "7FFFFFFF`00000000 - 7FFFFFFF`FFFFFFFF";
}

void TestHexDump::formatRange() {
    QFETCH(qulonglong, first);
    QFETCH(qulonglong, last);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(FormatRange(first, last)), text);
}

void TestHexDump::formatLine_data() {
    // Lines the dump itself never asks for; twenty bytes 0xA0 to 0xB3 at offset 0x1234.
    QTest::addColumn<int>("perLine");
    QTest::addColumn<int>("pos");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("before the data")
        << 16 << -4
        << QByteArray("00001230:") + QByteArray(12, ' ') + "-A0 A1 A2 A3-A4 A5 A6 A7-A8 A9 AA AB";
    QTest::newRow("wholly before") << 16 << -16 << QByteArray();
    QTest::newRow("eight per line") << 8 << 8 << QByteArray("0000123C: A8 A9 AA AB-AC AD AE AF");
}

void TestHexDump::formatLine() {
    QFETCH(int, perLine);
    QFETCH(int, pos);
    QFETCH(QByteArray, line);
    uint8_t data[20];
    for (int i = 0; i < 20; ++i)
        data[i] = uint8_t(0xA0 + i);
    CHexLine formatter(16);
    formatter.SetBytesPerLine(perLine);
    formatter.m_pData = data;
    formatter.m_nDataLen = 20;
    formatter.m_nAddrBits = 32;
    formatter.m_nBase = 0x1234;
    QCOMPARE(QByteArray::fromStdString(formatter.FormatLine(pos)), line);
}

void TestHexDump::workedExample() {
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
    QCOMPARE(Dump(WriteFile(m_dir, "example 1", first), WriteFile(m_dir, "example 2", second), 0x80,
                  0xBF),
             expected);
}

void TestHexDump::dumpOfZeros_data() {
    // Both files are zeros; the second carries 01 at each patched offset.
    QTest::addColumn<qulonglong>("length1");
    QTest::addColumn<qulonglong>("length2");
    QTest::addColumn<qulonglong>("patch");
    QTest::addColumn<qulonglong>("first");
    QTest::addColumn<qulonglong>("last");
    QTest::addColumn<QByteArray>("text");
    const qulonglong none = ~0ull;

    QTest::newRow("difference at byte 15 of a line")
        << 0x40ull << 0x40ull << 0xFull << 0ull << 0x3Full
        << "[00000000 - 0000003F]\n" + kEquals + "\n" +
               "00000000: 00 00 00 00-00 00 00 00-00 00 00 00-00 00 00[00]\n" + Zeros("00000010:") +
               Zeros("00000020:") + Zeros("00000030:") + kHyphens + "\n" +
               "00000000: 00 00 00 00-00 00 00 00-00 00 00 00-00 00 00[01]\n" + Zeros("00000010:") +
               Zeros("00000020:") + Zeros("00000030:") + kEquals;

    QTest::newRow("first difference at 0x47 starts at 0x20")
        << 0x1100ull << 0x1100ull << 0x1047ull << 0x1000ull << 0x10FFull
        << "[00001000 - 000010FF]\n" + kEquals + "\n" + Zeros("00001020:") + Zeros("00001030:") +
               "00001040: 00 00 00 00-00 00 00[00]00 00 00 00-00 00 00 00\n" + Zeros("00001050:") +
               Zeros("00001060:") + kHyphens + "\n" + Zeros("00001020:") + Zeros("00001030:") +
               "00001040: 00 00 00 00-00 00 00[01]00 00 00 00-00 00 00 00\n" + Zeros("00001050:") +
               Zeros("00001060:") + kEquals;

    QTest::newRow("length only") << 0x200ull << 0x175ull << none << 0x100ull << 0x1FFull
                                 << "[00000100 - 000001FF]\n" + kEquals + "\n" +
                                        Zeros("00000150:") + Zeros("00000160:") +
                                        Zeros("00000170:") + Zeros("00000180:") +
                                        Zeros("00000190:") + kHyphens + "\n" + Zeros("00000150:") +
                                        Zeros("00000160:") + "00000170: 00 00 00 00-00" +
                                        QByteArray(33, ' ') + "\n" + kEquals;

    QTest::newRow("last cell cut at the end")
        << 0x1050ull << 0x1050ull << 0x1003ull << 0x1000ull << 0x104Full
        << "[00001000 - 0000104F]\n" + kEquals + "\n" +
               "00001000: 00 00 00[00]00 00 00 00-00 00 00 00-00 00 00 00\n" + Zeros("00001010:") +
               Zeros("00001020:") + Zeros("00001030:") + Zeros("00001040:") + kHyphens + "\n" +
               "00001000: 00 00 00[01]00 00 00 00-00 00 00 00-00 00 00 00\n" + Zeros("00001010:") +
               Zeros("00001020:") + Zeros("00001030:") + Zeros("00001040:") + kEquals;

    QTest::newRow("above 4 GiB")
        << 0x100010000ull << 0x100010000ull << 0x100000020ull << 0x100000000ull << 0x10000FFFFull
        << "[00000001`00000000 - 00000001`0000FFFF]\n" + kEquals + "\n" +
               Zeros("00000001`00000000:") + Zeros("00000001`00000010:") +
               "00000001`00000020:[00]00 00 00-00 00 00 00-00 00 00 00-00 00 00 00\n" +
               Zeros("00000001`00000030:") + Zeros("00000001`00000040:") + kHyphens + "\n" +
               Zeros("00000001`00000000:") + Zeros("00000001`00000010:") +
               "00000001`00000020:[01]00 00 00-00 00 00 00-00 00 00 00-00 00 00 00\n" +
               Zeros("00000001`00000030:") + Zeros("00000001`00000040:") + kEquals;
}

void TestHexDump::dumpOfZeros() {
    QFETCH(qulonglong, length1);
    QFETCH(qulonglong, length2);
    QFETCH(qulonglong, patch);
    QFETCH(qulonglong, first);
    QFETCH(qulonglong, last);
    QFETCH(QByteArray, text);
    std::string strPath1 = WriteSparse(m_dir, "zeros1", length1);
    std::string strPath2 = patch == ~0ull ? WriteSparse(m_dir, "zeros2", length2)
                                          : WriteSparse(m_dir, "zeros2", length2, patch, "\x01");
    QCOMPARE(Dump(strPath1, strPath2, first, last), text);
}

void TestHexDump::unreadableBytesAreMissing_data() {
    QTest::addColumn<qulonglong>("failFirst");
    QTest::addColumn<qulonglong>("failEnd");
    QTest::addColumn<QByteArray>("text");
    // The first file fails over the range; the second differs from it at 0x40.
    QTest::newRow("after the difference")
        << 0x60ull << 0x80ull
        << "[00000000 - 000000FF]\n" + kEquals + "\n" + Zeros("00000020:") + Zeros("00000030:") +
               "00000040:[00]00 00 00-00 00 00 00-00 00 00 00-00 00 00 00\n" + Zeros("00000050:") +
               kHyphens + "\n" + Zeros("00000020:") + Zeros("00000030:") +
               "00000040:[01]00 00 00-00 00 00 00-00 00 00 00-00 00 00 00\n" + Zeros("00000050:") +
               Zeros("00000060:") + kEquals;
    QTest::newRow("nothing readable")
        << 0ull << 0x100ull
        << "[00000000 - 000000FF]\n" + kEquals + "\n" + kHyphens + "\n" + Zeros("00000000:") +
               Zeros("00000010:") + Zeros("00000020:") + Zeros("00000030:") +
               "00000040: 01 00 00 00-00 00 00 00-00 00 00 00-00 00 00 00\n" + kEquals;
}

void TestHexDump::unreadableBytesAreMissing() {
    QFETCH(qulonglong, failFirst);
    QFETCH(qulonglong, failEnd);
    QFETCH(QByteArray, text);
    CFaultyFileSystem fs;
    fs.strFailPath = "unreadable";
    fs.nFailFirst = failFirst;
    fs.nFailEnd = failEnd;
    CInstalledFileSystem installed(&fs);
    QCOMPARE(Dump(WriteSparse(m_dir, "unreadable", 0x100),
                  WriteSparse(m_dir, "readable", 0x100, 0x40, "\x01"), 0, 0xFF),
             text);
}

void TestHexDump::largeCellIsScannedInChunks() {
    const uint64_t nCell = 64ull << 20;
    std::string strPath1 = WriteSparse(m_dir, "large1", nCell);
    std::string strPath2 = WriteSparse(m_dir, "large2", nCell, nCell - 1, "\x01");
    CReadSizes fs;
    CInstalledFileSystem installed(&fs);
    QCOMPARE(Dump(strPath1, strPath2, 0, nCell - 1),
             "[00000000 - 03FFFFFF]\n" + kEquals + "\n" + Zeros("03FFFFD0:") + Zeros("03FFFFE0:") +
                 "03FFFFF0: 00 00 00 00-00 00 00 00-00 00 00 00-00 00 00[00]\n" + kHyphens + "\n" +
                 Zeros("03FFFFD0:") + Zeros("03FFFFE0:") +
                 "03FFFFF0: 00 00 00 00-00 00 00 00-00 00 00 00-00 00 00[01]\n" + kEquals);
    QVERIFY(fs.nLargest > 0 && fs.nLargest <= size_t(1) << 20);
    QCOMPARE(fs.nAsked, 2 * nCell + 2 * 48); // the cell once, then the bytes shown
}

void TestHexDump::scanStopsAtFirstDifference() {
    const uint64_t nCell = 64ull << 20;
    std::string strPath1 = WriteSparse(m_dir, "early1", nCell);
    std::string strPath2 = WriteSparse(m_dir, "early2", nCell, 16, "\x01");
    CReadSizes fs;
    CInstalledFileSystem installed(&fs);
    QByteArray text = Dump(strPath1, strPath2, 0, nCell - 1);
    QVERIFY(text.contains("\n00000010:[01]00"));
    QVERIFY(fs.nAsked <= 2 * (1ull << 20) + 2 * 80);
}

QTEST_GUILESS_MAIN(TestHexDump)
#include "tst_hexdump.moc"
