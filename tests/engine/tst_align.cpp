// The aligned comparison: edits placed where they were made, seeded pairs keeping the
// alignment's promises with any chunk hash, holes passed unread, the cells' worst kinds.
#include "engine/align/chunker.h"
#include "tests/engine/alignrun.h"
#include "tests/engine/faultcases.h"

#include <QtTest>

using namespace testutil;

namespace {
constexpr qsizetype M = 1 << 20;

// What breaks the alignment's promises for these two files; empty when nothing does.
QByteArray Broken(const CAlignment& a, const QByteArray& one, const QByteArray& two) {
    uint64_t n1 = 0;
    std::vector<std::pair<uint64_t, uint64_t>> ranges2;
    for (const CAlignSegment& s : a.m_segments) {
        const QByteArray at =
            AlignKindName(s.eKind) + QByteArray(" at ") + QByteArray::number(s.nOffset1) + ": ";
        const bool bSame = s.eKind == EAlignKind::Equal || s.eKind == EAlignKind::Moved;
        if (s.nOffset1 != n1)
            return at + "file 1 not tiled";
        if ((bSame && one.mid(s.nOffset1, s.nLength1) != two.mid(s.nOffset2, s.nLength2)) ||
            (s.eKind == EAlignKind::Inserted && s.nLength1) ||
            (s.eKind == EAlignKind::Deleted && s.nLength2))
            return at + "bytes or lengths wrong";
        n1 = s.End1();
        if (s.nLength2)
            ranges2.push_back({s.nOffset2, s.End2()});
    }
    std::sort(ranges2.begin(), ranges2.end());
    uint64_t n2 = 0;
    for (const auto& [nFirst, nEnd] : ranges2) {
        if (nFirst != n2)
            return "file 2 not tiled at " + QByteArray::number(n2);
        n2 = nEnd;
    }
    return n1 == uint64_t(one.size()) && n2 == uint64_t(two.size()) ? "" : "an end not reached";
}

// Writes bytes as a sparse file: 64 KiB pieces of zeros are left as holes.
std::string WriteSparse(const QTemporaryDir& dir, const QString& strName, const QByteArray& bytes) {
    const std::string strPath = WriteFile(dir, strName, {}, bytes.size());
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CLOEXEC);
    for (qsizetype n = 0; n < bytes.size(); n += 65536)
        if (const QByteArray piece = bytes.mid(n, 65536);
            piece.count('\0') < piece.size() &&
            ::pwrite(fd, piece.constData(), size_t(piece.size()), n) != piece.size())
            qFatal("cannot write %s", strPath.c_str());
    ::close(fd);
    return strPath;
}
} // namespace

class TestAlign : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    // Aligns the two files written afresh, once with the real chunk hash and once with every
    // chunk colliding: both whole, sound and alike. The segments as text.
    void Align(const QByteArray& one, const QByteArray& two, QByteArray& segments,
               const QByteArray& what, bool bSparse = false) {
        const auto Write = [&](const char* pszName, const QByteArray& bytes) {
            return bSparse ? WriteSparse(m_dir, pszName, bytes) : WriteFile(m_dir, pszName, bytes);
        };
        const std::string strOne = Write("one", one);
        const std::string strTwo = Write("two", two);
        for (bool bCollide : {false, true}) {
            SetCollidingChunkHash(bCollide);
            CAlignRun run;
            QVERIFY2(run.Run(strOne, strTwo, one.size(), two.size()) && run.nFinished == 1 &&
                         run.alignment.m_bComplete,
                     what);
            QVERIFY2(Broken(run.alignment, one, two).isEmpty(),
                     what + ": " + Broken(run.alignment, one, two));
            QVERIFY2(!bCollide || run.Segments() == segments,
                     what + ": hash colliding gives " + run.Segments() + " not " + segments);
            segments = run.Segments();
        }
    }

private slots:
    void cleanup() { SetCollidingChunkHash(false), SimulateThreadStartFailure(false); }

    // File 1 is 1 MiB of random bytes (or nothing), zeros over [300000, 400000) if asked.
    void editScripts_data() {
        Columns<qsizetype, bool, QByteArray, QByteArray>("length", "zeros", "script", "segments");
        const auto Row = [](const char* pszName, const char* pszScript, const char* pszSegments,
                            bool bZeros = false, qsizetype nLength = M) {
            QTest::newRow(pszName)
                << nLength << bZeros << QByteArray(pszScript) << QByteArray(pszSegments);
        };
        Row("identical", "", "equal 0+1048576 0+1048576");
        Row("1 byte inserted at the start", "i 0 1", "inserted 0+0 0+1; equal 0+1048576 1+1048576");
        Row("inserted at the end", "i 1048576 7",
            "equal 0+1048576 0+1048576; inserted 1048576+0 1048576+7");
        Row("inserted across a load edge", "i 262140 10",
            "equal 0+262140 0+262140; inserted 262140+0 262140+10; "
            "equal 262140+786436 262150+786436");
        Row("100 KiB inserted at a block edge", "i 4096 102400",
            "equal 0+4096 0+4096; inserted 4096+0 4096+102400; equal 4096+1044480 106496+1044480");
        Row("1 byte deleted at the start", "d 0 1", "deleted 0+1 0+0; equal 1+1048575 0+1048575");
        Row("deleted at the end", "d 1048476 100",
            "equal 0+1048476 0+1048476; deleted 1048476+100 1048476+0");
        Row("4 KiB deleted across a block edge", "d 4000 4096",
            "equal 0+4000 0+4000; deleted 4000+4096 4000+0; equal 8096+1040480 4000+1040480");
        Row("100000 bytes deleted across a load edge", "d 200000 100000",
            "equal 0+200000 0+200000; deleted 200000+100000 200000+0; "
            "equal 300000+748576 200000+748576");
        Row("1 byte replaced", "r 5000 1",
            "equal 0+5000 0+5000; different 5000+1 5000+1; equal 5001+1043575 5001+1043575");
        Row("300 KiB replaced across a load edge", "r 100000 307200",
            "equal 0+100000 0+100000; different 100000+307200 100000+307200; "
            "equal 407200+641376 407200+641376");
        Row("10 bytes replaced by 20", "d 5000 10; i 5000 20",
            "equal 0+5000 0+5000; different 5000+10 5000+20; equal 5010+1043566 5020+1043566");
        Row("the last 576 bytes replaced", "r 1048000 576",
            "equal 0+1048000 0+1048000; different 1048000+576 1048000+576");
        Row("100 KiB moved forward", "m 100000 102400 700000",
            "equal 0+100000 0+100000; moved 100000+102400 700000+102400; "
            "equal 202400+600000 100000+600000; equal 802400+246176 802400+246176");
        Row("100 KiB moved to the start", "m 500000 102400 0",
            "equal 0+500000 102400+500000; moved 500000+102400 0+102400; "
            "equal 602400+446176 602400+446176");
        Row("the last 200 KiB moved to the start", "m 843776 204800 0",
            "equal 0+843776 204800+843776; moved 843776+204800 0+204800");
        Row("100 KiB copied: inserted, not moved", "c 0 102400 500000",
            "equal 0+500000 0+500000; inserted 500000+0 500000+102400; "
            "equal 500000+548576 602400+548576");
        Row("zeros inserted in zeros go to the run's end", "z 350000 1000",
            "equal 0+400000 0+400000; inserted 400000+0 400000+1000; "
            "equal 400000+648576 401000+648576",
            true);
        Row("zeros deleted from zeros, at the run's end", "d 350000 1000",
            "equal 0+399000 0+399000; deleted 399000+1000 399000+0; "
            "equal 400000+648576 399000+648576",
            true);
        Row("1 byte inserted in zeros, where it was", "i 350000 1",
            "equal 0+350000 0+350000; inserted 350000+0 350000+1; "
            "equal 350000+698576 350001+698576",
            true);
        Row("4 KiB pieces rewritten among zeros", "r 310000 4096; r 350000 4096",
            "equal 0+310000 0+310000; different 310000+4096 310000+4096; "
            "equal 314096+35904 314096+35904; different 350000+4096 350000+4096; "
            "equal 354096+694480 354096+694480",
            true);
        Row("20000 bytes inserted in zeros, where they were", "i 320000 20000",
            "equal 0+320000 0+320000; inserted 320000+0 320000+20000; "
            "equal 320000+728576 340000+728576",
            true);
        Row("1 byte replaced in zeros", "r 350000 1",
            "equal 0+350000 0+350000; different 350000+1 350000+1; "
            "equal 350001+698575 350001+698575",
            true);
        Row("a prefix of the other", "d 600000 448576",
            "equal 0+600000 0+600000; deleted 600000+448576 600000+0");
        Row("unrelated", "u", "different 0+1048576 0+1048576");
        Row("unrelated, shorter", "u; d 0 48576", "different 0+1048576 0+1000000");
        Row("empty against data", "d 0 1048576", "deleted 0+1048576 0+0");
        Row("data against empty", "i 0 5000", "inserted 0+0 0+5000", false, 0);
        Row("both empty", "", "", false, 0);
    }
    void editScripts() {
        const auto [nLength, bZeros, script, expected] =
            Fetch<qsizetype, bool, QByteArray, QByteArray>("length", "zeros", "script", "segments");
        QByteArray one = Random(nLength, 24);
        if (bZeros)
            one.replace(300000, 100000, QByteArray(100000, '\0'));
        QByteArray segments;
        Align(one, Edit(one, script, 7), segments, script);
        QCOMPARE(segments, expected);
    }

    // Random edits of random files with runs of zeros and repeated pieces: the segments tile
    // both files, equal and moved bytes are equal, colliding hashes change nothing, and an
    // unedited pair is what the plain comparison says it is.
    void seededPairs() {
        std::mt19937 random(20240824);
        const auto Below = [&random](qsizetype n) { return qsizetype(n > 0 ? random() % n : 0); };
        for (int nTrial = 0; nTrial < 30; ++nTrial) {
            QByteArray one = Random(Below(3 * M), random());
            for (int k = int(random() % 4); k > 0 && !one.isEmpty(); --k) {
                const qsizetype nAt = Below(one.size());
                const qsizetype nZeros = std::min(Below(65536), one.size() - nAt);
                one.replace(nAt, nZeros, QByteArray(nZeros, '\0'));
            }
            if (one.size() > 200000 && random() % 2)
                one.replace(Below(one.size()), 100000, one.mid(Below(one.size() - 100000), 100000));
            QByteArray script;
            for (int k = int(random() % 5), n = int(one.size()); k > 0 && n > 0; --k) {
                const char cOp = "izdrm"[random() % 5];
                const qsizetype nAt = Below(n), nCount = random() % 2 ? Below(64) + 1 : Below(M);
                const qsizetype nCut = std::min(nCount, n - nAt);
                script += cOp + (' ' + QByteArray::number(nAt)) + ' ' +
                          QByteArray::number(cOp == 'i' || cOp == 'z' ? nCount : nCut) +
                          (cOp == 'm' ? ' ' + QByteArray::number(Below(n - nCut)) : "") + ';';
                n += cOp == 'i' || cOp == 'z' ? int(nCount) : cOp == 'd' ? -int(nCut) : 0;
            }
            const QByteArray two = Edit(one, script, random());
            const QByteArray what = "trial " + QByteArray::number(nTrial) + ": " + script;
            QByteArray segments;
            Align(one, two, segments, what);
            if (QTest::currentTestFailed() || !script.isEmpty())
                continue;
            CJobRun plain;
            QVERIFY(plain.Run(m_dir.filePath("one").toStdString(),
                              m_dir.filePath("two").toStdString(), one.size(), 4096));
            CAlignRun aligned;
            QVERIFY(aligned.Run(m_dir.filePath("one").toStdString(),
                                m_dir.filePath("two").toStdString(), one.size(), one.size()));
            QCOMPARE(aligned.Blocks(one.size(), 4096) + '0', plain.States());
        }
    }

    // 16 MiB with 64 KiB of data at 0 and at 8 MiB, holes elsewhere: edits before, inside and
    // after the hole are found, and no hole is read.
    void holes_data() {
        Columns<QByteArray, QByteArray>("script", "segments");
        QTest::newRow("inserted before the hole")
            << QByteArray("i 32768 1000")
            << QByteArray("equal 0+32768 0+32768; inserted 32768+0 32768+1000; "
                          "equal 32768+16744448 33768+16744448");
        QTest::newRow("inserted after the hole")
            << QByteArray("i 8388708 1000")
            << QByteArray("equal 0+8388708 0+8388708; inserted 8388708+0 8388708+1000; "
                          "equal 8388708+8388508 8389708+8388508");
        QTest::newRow("inserted inside the hole")
            << QByteArray("i 4194304 1048576")
            << QByteArray("equal 0+4194304 0+4194304; inserted 4194304+0 4194304+1048576; "
                          "equal 4194304+12582912 5242880+12582912");
        QTest::newRow("deleted before the hole")
            << QByteArray("d 1000 1000")
            << QByteArray("equal 0+1000 0+1000; deleted 1000+1000 1000+0; "
                          "equal 2000+16775216 1000+16775216");
        QTest::newRow("the hole shortened, at its end")
            << QByteArray("d 4194304 65536")
            << QByteArray("equal 0+8323072 0+8323072; deleted 8323072+65536 8323072+0; "
                          "equal 8388608+8388608 8323072+8388608");
    }
    void holes() {
        const auto [script, expected] = Fetch<QByteArray, QByteArray>("script", "segments");
        QByteArray one(16 * M, '\0');
        one.replace(0, 65536, Random(65536, 1)).replace(8 * M, 65536, Random(65536, 2));
        const QByteArray two = Edit(one, script, 3);
        CInstalledFaultyFileSystem fs;
        QByteArray segments;
        Align(one, two, segments, script, true);
        QCOMPARE(segments, expected);
        const faults::DataRuns data = faults::PunchHole(m_dir.filePath("one").toStdString(), 0, 0);
        if (data.size() != 2 || data[1].first != 8 * M)
            QSKIP("the file system here makes no holes: the files were read whole");
        // Two runs (the real hash, then the colliding one) of two files, each holding at most
        // 1.1 MiB of data; the holes are 30 MiB and more.
        QVERIFY2(fs.nAsked < 8 * M, QByteArray::number(qulonglong(fs.nAsked)));
    }

    // The worst kind a range of file 1 holds: read error, different, deleted, inserted,
    // shifted, equal; an insertion counts in the range holding the byte after it.
    void cells_data() {
        Columns<QByteArray, qulonglong, qulonglong, int>("segments", "first", "end", "worst");
        const auto Row = [](const char* pszName, const char* pszSegments, qulonglong nFirst,
                            qulonglong nEnd, int nWorst) {
            QTest::newRow(pszName) << QByteArray(pszSegments) << nFirst << nEnd << nWorst;
        };
        const char* pszInserted = "equal 0 50 0 50; inserted 50 0 50 3; equal 50 50 53 50";
        Row("equal in place", "equal 0 100 0 100", 0, 100, CELL_EQUAL);
        Row("equal shifted", "equal 0 100 7 100", 0, 100, CELL_SHIFTED);
        Row("moved", "moved 0 100 500 100", 0, 50, CELL_SHIFTED);
        Row("an insertion before the range's first byte", pszInserted, 50, 60, CELL_INSERTED);
        Row("an insertion after the range's last byte", pszInserted, 40, 50, CELL_EQUAL);
        Row("an insertion at file 1's end", "equal 0 100 0 100; inserted 100 0 100 5", 90, 100,
            CELL_INSERTED);
        Row("deleted outweighs inserted", "deleted 0 10 0 0; inserted 10 0 0 5; equal 10 90 5 90",
            0, 100, CELL_DELETED);
        Row("different outweighs deleted", "different 0 10 0 10; deleted 10 10 10 0", 0, 20,
            CELL_DIFFERENT);
        Row("a read error outweighs all", "different 0 10 0 10; read-error 10 1 10 1", 5, 15,
            CELL_READ_ERROR);
        Row("file 2 unreadable past file 1's end", "equal 0 100 0 100; read-error 100 0 100 4", 90,
            100, CELL_READ_ERROR);
        Row("a segment ending where the range starts", "different 0 50 0 50; equal 50 50 50 50", 50,
            100, CELL_EQUAL);
        Row("nothing known past the segments", "equal 0 50 0 50", 60, 70, CELL_PENDING);
    }
    void cells() {
        const auto [segments, nFirst, nEnd, nWorst] =
            Fetch<QByteArray, qulonglong, qulonglong, int>("segments", "first", "end", "worst");
        CAlignment alignment;
        alignment.Reset(100, 0);
        for (const QByteArray& segment : segments.split(';')) {
            const QList<QByteArray> w = segment.simplified().split(' ');
            int nKind = 0;
            while (w[0] != AlignKindName(EAlignKind(nKind)))
                ++nKind;
            alignment.Append(EAlignKind(nKind), w[1].toULongLong(), w[2].toULongLong(),
                             w[3].toULongLong(), w[4].toULongLong());
        }
        QCOMPARE(int(alignment.WorstKind(nFirst, nEnd)), nWorst);
    }

    // Faults met while a gap is searched, where both files are chunked: in mapped windows they
    // raise SIGBUS or read as zeros, and what was chunked of them must be taken back and read,
    // so that both paths say the same. File 2 has 1.5 MiB of other bytes from 256 KiB on.
    void faultsInAGap_data() {
        Columns<QByteArray, qulonglong, qulonglong, qulonglong, QByteArray>("fail", "first", "end",
                                                                            "truncate", "segments");
        const auto Row = [](const char* pszName, const char* pszFail, qulonglong nFirst,
                            qulonglong nEnd, qulonglong nTruncate, const char* pszSegments) {
            QTest::newRow(pszName)
                << QByteArray(pszFail) << nFirst << nEnd << nTruncate << QByteArray(pszSegments);
        };
        const char* pszUnreadable =
            "equal 0+262144 0+262144; different 262144+337856 262144+337856; "
            "read-error 600000+100416 600000+100416; "
            "different 700416+1134592 700416+1134592; "
            "equal 1835008+262144 1835008+262144";
        Row("file 2 unreadable", "two", 600000, 700000, 0, pszUnreadable);
        Row("file 1 unreadable", "one", 600000, 700000, 0, pszUnreadable);
        // What file 2 no longer has stands against nothing.
        Row("file 2 cut short", "", 0, 0, 1200000,
            "equal 0+262144 0+262144; different 262144+1835008 262144+937856; "
            "inserted 2097152+0 1200000+897152");
    }
    void faultsInAGap() {
        const auto [fail, nFirst, nEnd, nTruncate, expected] =
            Fetch<QByteArray, qulonglong, qulonglong, qulonglong, QByteArray>(
                "fail", "first", "end", "truncate", "segments");
        const QByteArray one = Random(2 * M, 11);
        const QByteArray two =
            QByteArray(one).replace(256 * 1024, 1536 * 1024, Random(1536 * 1024, 12));
        faults::CEventFileSystem fs;
        fs.strFailPath = fail.toStdString();
        fs.nFailFirst = nFirst;
        fs.nFailEnd = nEnd;
        const std::string strOne = WriteFile(m_dir, "one", one);
        fs.strTarget = WriteFile(m_dir, "two", two);
        fs.nTriggerAt = nTruncate ? M : ~0ull;
        fs.m_onTrigger = [&] { QCOMPARE(::truncate(fs.strTarget.c_str(), off_t(nTruncate)), 0); };
        CInstalledFileSystem installed(&fs);
        CAlignRun run;
        QVERIFY(run.Run(strOne, fs.strTarget, one.size(), two.size()) && run.nFinished == 1);
        QCOMPARE(run.Segments(), expected);
    }

    // A file that cannot be opened is named as the plain comparison names it; a run aborted
    // before or during the pass stops, incomplete, its segments tiling a prefix of both files; a
    // whole run posts its progress in file 1's bytes, rising to 100 %; with no thread there is no
    // run. A run that starts finishes exactly once.
    void abortAndRefusals() {
        const QByteArray one = Random(24 * M, 3), two = Edit(one, "i 20000000 1", 5);
        const std::string strOne = WriteFile(m_dir, "one", one);
        const std::string strTwo = WriteFile(m_dir, "two", two);
        const std::string strNone = m_dir.filePath("none").toStdString();
        for (int f : {0, 1}) {
            CAlignRun run;
            QVERIFY(run.Run(f ? strOne : strNone, f ? strNone : strTwo, one.size(), two.size()));
            QCOMPARE(QString::fromStdString(run.error1.Get() + run.error2.Get()),
                     (f ? "Comapre error: " : "Compare error: ") + ErrorText(ENOENT));
            QVERIFY(run.nFinished == 1 && !run.alignment.m_bComplete);
        }
        for (int nAbort : {0, 1, 2}) { // before the start, at the first post, never
            CAlignRun run;
            run.bAbort = nAbort == 0;
            run.onProgress = [&run, nAbort] { run.bAbort = nAbort == 1; };
            QVERIFY(run.Run(strOne, strTwo, one.size(), two.size()));
            const CAlignment& a = run.alignment;
            QVERIFY(run.nFinished == 1 && a.m_bComplete == (nAbort == 2) &&
                    (a.Covered1() < 20000000) == (nAbort != 2) && a.m_segments.empty() == !nAbort);
            QCOMPARE(Broken(a, one.left(a.Covered1()), two.left(a.Covered2())), QByteArray());
            QVERIFY(std::is_sorted(run.progress.begin(), run.progress.end()) &&
                    (nAbort != 2 || run.progress.back() == 10000));
        }
        SimulateThreadStartFailure(true);
        CAlignRun run;
        QVERIFY(!run.Run(strOne, strTwo, one.size(), two.size()) && run.nFinished == 0);
    }

    // At each progress post the settled copy is a prefix of the finished alignment, its last
    // segment cut short at most, and it only grows, also within a long equal stretch, so that the
    // map fills while the stretch is walked; a new run starts it afresh.
    void settledWhileRunning() {
        const QByteArray one = Random(24 * M, 7);
        const QByteArray two =
            Edit(one, "i 2000000 1; d 4000000 4096; r 6000000 9; i 8000000 3", 9);
        CSharedAlignment settled;
        settled.CatchUp(CAlignment()); // an earlier run's
        CAlignRun run;
        run.pSettled = &settled;
        std::vector<std::vector<CAlignSegment>> seen;
        run.onProgress = [&] {
            const auto lock = settled.Lock();
            seen.push_back(settled.Get().m_segments);
        };
        QVERIFY(run.Run(WriteFile(m_dir, "one", one), WriteFile(m_dir, "two", two), one.size(),
                        two.size()));
        const std::vector<CAlignSegment>& final = run.alignment.m_segments;
        QVERIFY(seen.size() >= 2 && final.size() > 6 && seen.back().size() > 1);
        QVERIFY(std::any_of(seen.begin(), seen.end(), [&](const auto& v) {
            return !v.empty() && v.back().eKind == EAlignKind::Equal &&
                   v.back().nOffset1 == final.back().nOffset1 &&
                   v.back().nLength1 < final.back().nLength1;
        }));
        for (size_t k = 0; k < seen.size(); ++k) {
            QVERIFY(seen[k].size() <= final.size() &&
                    (k == 0 || seen[k].size() >= seen[k - 1].size()));
            for (size_t i = 0; i < seen[k].size(); ++i) {
                CAlignSegment s = seen[k][i];
                if (i + 1 == seen[k].size() && s.nLength1 <= final[i].nLength1 &&
                    s.nLength2 <= final[i].nLength2)
                    std::tie(s.nLength1, s.nLength2) =
                        std::tie(final[i].nLength1, final[i].nLength2);
                QVERIFY2(s == final[i], qPrintable(QString("post %1, segment %2").arg(k).arg(i)));
            }
        }
        settled.Reset(1, 2);
        QVERIFY(settled.Get().m_segments.empty() && settled.Get().m_nLength2 == 2);
    }
};

QTEST_GUILESS_MAIN(TestAlign)
#include "tst_align.moc"
