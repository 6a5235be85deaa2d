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

// nLines dump lines of zero bytes from offset nAt on, the bytes from nMark on bracketed as pszMark.
QByteArray Zeros(uint64_t nAt, int nLines, uint64_t nMark = ~0ull, const char* pszMark = "00") {
    QByteArray lines;
    for (uint64_t n = nAt; n < nAt + 16 * uint64_t(nLines); n += 16) {
        QByteArray bytes = " 00 00 00 00-00 00 00 00-00 00 00 00-00 00 00 00 ";
        if (nMark - n < 16)
            bytes.replace(qsizetype(3 * (nMark - n)), qsizetype(strlen(pszMark)) + 2,
                          QByteArray("[") + pszMark + "]");
        const QString strAt = QString::asprintf("%08X:", unsigned(n));
        lines +=
            (n >> 32 ? QString::asprintf("%08X`", unsigned(n >> 32)) + strAt : strAt).toLatin1() +
            bytes.chopped(bytes.endsWith(' ') ? 1 : 0) + "\n";
    }
    return lines;
}
} // namespace

class TestHexDump : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // Zeros against zeros with `bytes` at `patch`, adjacent differences bracketed together;
    // reads of the first fail over [failFirst, failEnd), where it holds stored zeros. A 64 MiB
    // cell is read once in chunks of at most 1 MiB, then only the bytes shown (at most `asked`);
    // a difference early in it ends the scan. Holes read as data (tst_engine passes them over).
    void dumpOfZeros() {
        SetHoleSkipping(false);
        const auto restore = qScopeGuard([] { SetHoleSkipping(true); });
        const uint64_t M = 1 << 20, nCell = 64 * M;
        const struct {
            uint64_t length1, length2, patch, first, last, failFirst, failEnd, asked;
            QByteArray bytes, text;
        } cases[] = {
            {0x200, 0x175, 0x175, 0x100, 0x1FF, 0, 0, ~0ull, "", // the second file ends first
             Text("00000100 - 000001FF", Zeros(0x150, 5),
                  Zeros(0x150, 2) + "00000170: 00 00 00 00-00" + QByteArray(33, ' ') + "\n")},
            {0x100010000, 0x100010000, 0x100000047, 0x100000000, 0x10000FFFF, 0, 0, ~0ull, "\x01",
             Text("00000001`00000000 - 00000001`0000FFFF", Zeros(0x100000020, 5, 0x100000047),
                  Zeros(0x100000020, 5, 0x100000047, "01"))},
            {0x100, 0x100, 0x40, 0, 0xFF, 0x60, 0x80, ~0ull, "\xA5\xBC", // unreadable after it
             Text("00000000 - 000000FF", Zeros(0x20, 4, 0x40, "00 00"),
                  Zeros(0x20, 5, 0x40, "A5 BC"))},
            {0x100, 0x100, 0x40, 0, 0xFF, 0, 0x100, ~0ull, "\x01", // none of it readable
             Text("00000000 - 000000FF", "", Zeros(0, 5).replace("40: 00", "40: 01"))},
            {nCell, nCell, nCell - 1, 0, nCell - 1, 0, 0, 2 * nCell + 2 * 48, "\x01",
             Text("00000000 - 03FFFFFF", Zeros(0x3FFFFD0, 3, nCell - 1),
                  Zeros(0x3FFFFD0, 3, nCell - 1, "01"))},
            {nCell, nCell, 16, 0, nCell - 1, 0, 0, 2 * M + 2 * 80, "\x01",
             Text("00000000 - 03FFFFFF", Zeros(0, 5, 16), Zeros(0, 5, 16, "01"))}};
        for (const auto& c : cases) {
            CInstalledFaultyFileSystem fs;
            fs.strFailPath = "zeros1", fs.nFailFirst = c.failFirst, fs.nFailEnd = c.failEnd;
            const QByteArray stored(qsizetype(c.failEnd - c.failFirst), '\0');
            CInputFile file1, file2;
            QVERIFY(file1.Open(WriteFile(m_dir, "zeros1", stored, c.length1, c.failFirst)) &&
                    file2.Open(WriteFile(m_dir, "zeros2", c.bytes, c.length2, c.patch)));
            QCOMPARE(QByteArray(BuildHexDump(file1, file2, c.first, c.last).c_str()), c.text);
            QVERIFY(fs.nLargest <= M && fs.nAsked <= c.asked);
        }
    }
};

QTEST_GUILESS_MAIN(TestHexDump)
#include "tst_hexdump.moc"
