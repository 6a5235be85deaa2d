#include "app/abortconfirm.h"
#include "app/compareapp.h"
#include "tests/app/windowutil.h"
#include "ui/statusstrip.h"
#include "view/colorref.h"

#include <QComboBox>
#include <QLineEdit>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

namespace {

const QString kTitle = "Quillet Tavrel  1.00";
constexpr qint64 kLoad = 262144;      // what the worker's reader takes in one read
constexpr qint64 kLength = 4 * kLoad; // of the compared files: four loads each

enum EAction { None, Truncate, Grow, Delete, Rename };

// One thing done to a compared file (nFile 1 or 2) by the worker's first read at nAt, and the
// reads of the files in nFailMask (1 the primary, 2 the secondary) failed over [nBadFirst,
// nBadEnd); what a run under it must end with: those bytes' blocks in nBadState, the rest
// equal, and the differences pane showing strDiffs.
struct CFault {
    int nAction = None;
    int nFile = 0;
    qint64 nAt = 0;
    qint64 nParam = 0;
    int nFailMask = 0;
    qint64 nBadFirst = 0;
    qint64 nBadEnd = 0;
    int nBadState = 0;
    QString strDiffs = "0";
};

class CScenarioFs : public CFileSystem {
public:
    CScenarioFs(const CFault& fault, const std::string& strPath) : m_f(fault), m_strPath(strPath) {}
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        // 1 for "one…", 2 for "two…", by the name the descriptor has now.
        char szPath[4096] = {};
        (void)!::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), szPath, 4095);
        const QString strName = QFileInfo(QFile::decodeName(szPath)).fileName();
        const int nFile = strName.startsWith("one") ? 1 : strName.startsWith("two") ? 2 : 0;
        if (std::this_thread::get_id() != m_main && nFile == m_f.nFile && nOffset == m_f.nAt &&
            !m_bActed.exchange(true))
            Act(m_strPath.c_str());
        if (nFile & m_f.nFailMask) {
            if (nOffset >= m_f.nBadFirst && nOffset < m_f.nBadEnd)
                return errno = EIO, -1;
            if (nOffset < m_f.nBadFirst && nOffset + off_t(nCount) > m_f.nBadFirst)
                nCount = size_t(m_f.nBadFirst - nOffset);
        }
        return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }

private:
    void Act(const char* pszPath) {
        if (m_f.nAction == Truncate) {
            (void)!::truncate(pszPath, off_t(m_f.nParam));
        } else if (m_f.nAction == Grow) {
            const int fd = ::open(pszPath, O_WRONLY | O_APPEND | O_CLOEXEC);
            (void)!::write(fd, QByteArray(m_f.nParam, 'g').constData(), size_t(m_f.nParam));
            ::close(fd);
        } else if (m_f.nAction == Delete) {
            ::unlink(pszPath);
        } else if (m_f.nAction == Rename) {
            ::rename(pszPath, (m_strPath + ".moved").c_str());
        }
    }
    const CFault m_f;
    const std::string m_strPath;
    const std::thread::id m_main = std::this_thread::get_id();
    std::atomic<bool> m_bActed{false};
};

// Whether a run of str1 and str2 ended and left the window idle: both names shown in their
// colour, the progress at its end, the title back.
bool ShowsFinished(CMainWnd& wnd, const std::string& str1, const std::string& str2) {
    const CStatusStrip& strip = wnd.GetStrip();
    return strip.GetPane(PANE_PRIMARY).text == str1 && strip.GetPane(PANE_SECONDARY).text == str2 &&
           strip.GetPane(PANE_PRIMARY).color == CLR_NAME &&
           strip.GetPane(PANE_SECONDARY).color == CLR_NAME &&
           strip.GetPane(PANE_PROGRESS).text.rfind("100% in ", 0) == 0 &&
           wnd.windowTitle() == kTitle && !wnd.GetJob();
}

struct Fixture {
    Fixture() {
        g_abortConfirm.m_bAbort.store(0);
        wnd.resize(800, 600);
        wnd.show();
        (void)QTest::qWaitForWindowExposed(&wnd);
        wnd.installEventFilter(&finishes);
    }
    ~Fixture() { wnd.removeEventFilter(&finishes); }
    void Start(const std::string& strPath1, const std::string& strPath2) {
        wnd.m_strPath1 = strPath1;
        wnd.m_strPath2 = strPath2;
        QEvent start(ID_SELECT_FILES);
        QCoreApplication::sendEvent(&wnd, &start);
    }
    bool WaitIdle() {
        return Await([this] { return !wnd.GetJob(); });
    }
    const CPaneBar::Pane& GetPane(int n) { return wnd.GetStrip().GetPane(n); }
    std::string File(const QString& strName, const QByteArray& bytes) {
        return WriteFile(dir, strName, bytes);
    }
    // A fresh run of two small equal files reaches its end: the window is idle again.
    bool RunsAgain() {
        const int nBefore = finishes.m_nCount;
        const std::string str1 = File("again1", Pattern(5000));
        const std::string str2 = File("again2", Pattern(5000));
        Start(str1, str2);
        return WaitIdle() && finishes.m_nCount == nBefore + 1 && ShowsFinished(wnd, str1, str2);
    }
    uint32_t BlockSize() { return wnd.GetMapView().GetGeometry().m_nBlockSize; }

    QTemporaryDir dir;
    CTestScreen screen;
    CAppState app;
    CScriptedWnd wnd{app, screen};
    CEventCounter finishes{UWM_FINISHED};
};

// Every block of a finished run: those in [nBadFirst, nBadEnd) of bytes have nBadState, the
// rest are equal. The first block that is not so, or -1.
int64_t FirstWrongBlock(const CAppState& app, uint32_t B, int64_t nBadFirst, int64_t nBadEnd,
                        uint8_t nBadState) {
    for (int64_t i = 0; i < (kLength + B - 1) / B; ++i) {
        const bool bBad = i * B < nBadEnd && (i + 1) * B > nBadFirst;
        if (app.m_states.Get(int32_t(i)) != (bBad ? nBadState : uint8_t(BLOCK_EQUAL)))
            return i;
    }
    return -1;
}

// Makes a named entry of an open Select-files dialog read strText, as if typed.
void TypeInto(QWidget& dialog, const char* pszCombo, const QString& strText) {
    QLineEdit* pEdit = dialog.findChild<QComboBox*>(pszCombo)->lineEdit();
    pEdit->setText(strText);
    QTest::keyClick(pEdit, Qt::Key_End);
    QTest::keyClick(pEdit, Qt::Key_Space);
    QTest::keyClick(pEdit, Qt::Key_Backspace);
}

} // namespace

Q_DECLARE_METATYPE(CFault)

class TestWindowFaults : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase() { QCOMPARE(m_home.Created(), QStringList()); }
    void faultDuringRun_data();
    void faultDuringRun();
    void abortAtBlock_data();
    void abortAtBlock();
    void startCommandsQueuedBehindTheDialog();
    void hostileNames_data();
    void hostileNames();
    void filesThatAreNotFiles_data();
    void filesThatAreNotFiles();

private:
    CEmptyHome m_home;
};

void TestWindowFaults::faultDuringRun_data() {
    QTest::addColumn<CFault>("fault");
    const int nLength = BLOCK_LENGTH_DIFFERS;
    const int nError = BLOCK_READ_ERROR;
    QTest::newRow("secondary truncated mid-run")
        << CFault{Truncate, 2, 2 * kLoad, 600001, 0, 600001, kLength, nLength, "1"};
    QTest::newRow("primary truncated to nothing")
        << CFault{Truncate, 1, 0, 0, 0, 0, kLength, nLength, "1"};
    QTest::newRow("primary grows") << CFault{Grow, 1, kLoad, 100000};
    QTest::newRow("primary deleted") << CFault{Delete, 1, kLoad};
    QTest::newRow("secondary renamed") << CFault{Rename, 2, 3 * kLoad};
    // 20 bytes into a load: those 20 are read, the rest of their block is not.
    QTest::newRow("primary unreadable over a region")
        << CFault{None, 0, 0, 0, 1, 2 * kLoad + 20, 600000, nError};
    // The load from 262144 gets 37856 bytes before failing: its whole blocks are compared.
    QTest::newRow("primary unreadable from inside a load")
        << CFault{None, 0, 0, 0, 1, 300000, 400000, nError};
    QTest::newRow("both unreadable over a region")
        << CFault{None, 0, 0, 0, 3, 2 * kLoad, 3 * kLoad, nError};
}

void TestWindowFaults::faultDuringRun() {
    QFETCH(CFault, fault);
    Fixture f;
    const std::string strOne = f.File("one.bin", Pattern(kLength));
    const std::string strTwo = f.File("two.bin", Pattern(kLength));
    const CFileStamp stamp1(strOne), stamp2(strTwo);
    const QStringList before = FolderEntries(f.dir);
    CScenarioFs fs(fault, fault.nFile == 1 ? strOne : strTwo);
    {
        CInstalledFileSystem installed(&fs);
        f.Start(strOne, strTwo);
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.finishes.m_nCount, 1);
        QCOMPARE(FirstWrongBlock(f.app, f.BlockSize(), fault.nBadFirst, fault.nBadEnd,
                                 uint8_t(fault.nBadState)),
                 -1);
        QVERIFY(ShowsFinished(f.wnd, strOne, strTwo));
        f.wnd.GetMapView().repaint(); // the count is the paint's
        QCOMPARE(QString::fromStdString(f.GetPane(PANE_DIFFS).text), fault.strDiffs);
        if (fault.nFailMask == 1) {
            // A black cell's tip dumps what could be read: the primary's bytes before the
            // region, then the secondary's.
            CMapView& map = f.wnd.GetMapView();
            const uint32_t nCellSize = map.GetGeometry().m_nCellSize;
            const auto nCell = int32_t(fault.nBadFirst / nCellSize);
            const qint64 nReadable = fault.nBadFirst - nCell * qint64(nCellSize);
            QVERIFY(nReadable < 48); // so that the dump starts at the cell
            const QStringList lines = AskCellTip(map, nCell).split('\n');
            const qsizetype nRule = lines.indexOf(QString(57, '-'));
            QVERIFY2(nRule == 2 + (nReadable + 15) / 16, qPrintable(lines.join('\n')));
            QCOMPARE(lines.size() - nRule - 2, qsizetype(std::min<uint32_t>(nCellSize, 80) / 16));
            QVERIFY(lines[2].startsWith(
                QString("%1").arg(nCell * nCellSize, 8, 16, QChar('0')).toUpper()));
        }
    }
    QVERIFY(fault.nFile == 1 || stamp1.Unchanged());
    QVERIFY(fault.nFile == 2 || stamp2.Unchanged());
    QVERIFY(fault.nAction != None || FolderEntries(f.dir) == before);
    QVERIFY(f.RunsAgain());
}

void TestWindowFaults::abortAtBlock_data() {
    Columns<int, QString>("loads", "answer"); // each file's loads let through before the question
    for (const char* pszAnswer : {"Yes", "No"})
        for (const auto& [pszBlock, nLoads] : {std::pair{"first", 0}, {"middle", 2}, {"last", 3}})
            QTest::addRow("%s block, %s", pszBlock, pszAnswer) << nLoads << pszAnswer;
}

void TestWindowFaults::abortAtBlock() {
    const auto [loads, answer] = Fetch<int, QString>("loads", "answer");
    const bool bYes = answer == "Yes";
    Fixture f;
    // Three loads and one block: the fourth load holds the last block alone.
    const std::string strOne = f.File("one.bin", Pattern(3 * kLoad + 32));
    const std::string strTwo = f.File("two.bin", Pattern(3 * kLoad + 32));
    const CFileStamp stamp1(strOne), stamp2(strTwo);
    QVERIFY(f.RunsAgain()); // an earlier run's "100%" must not stand for an abandoned one
    CReusableGate gate;
    gate.Hold(2 * loads);
    {
        CInstalledFileSystem installed(&gate);
        f.Start(strOne, strTwo);
        QVERIFY(f.wnd.GetJob());
        QCOMPARE(f.BlockSize(), 32u); // so that the last load is the last block
        const auto nHeld = int32_t(loads * kLoad / 32);
        QVERIFY(Await([&] { return gate.Waiting() == 1; }));
        QCOMPARE(f.wnd.GetJob()->m_nDone.load(), nHeld);
        AnswerNextModal([&](QWidget& box) { ClickButton(box, answer); });
        QVERIFY(!f.wnd.close());
        QCOMPARE(g_abortConfirm.m_bAbort.load(), uint8_t(bYes));
        QVERIFY(f.wnd.GetJob()); // held still, whatever the answer
        gate.Release();
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.finishes.m_nCount, 2);
        QCOMPARE(g_abortConfirm.m_bAbort.load(), uint8_t(0));
        // Yes: the held block is finished, the next is never begun.
        const int32_t K = int32_t((3 * kLoad + 32) / 32);
        const int32_t nEqualEnd = bYes ? nHeld + 1 : K;
        for (int32_t i : {0, nHeld, nEqualEnd - 1})
            QCOMPARE(f.app.m_states.Get(i), uint8_t(BLOCK_EQUAL));
        QVERIFY(nEqualEnd == K || f.app.m_states.Get(nEqualEnd) == BLOCK_PENDING);
        QCOMPARE(ShowsFinished(f.wnd, strOne, strTwo), !bYes);
        QVERIFY(!bYes || loads != 0 || f.GetPane(PANE_PROGRESS).text.rfind("0.00% in ", 0) == 0);
        QCOMPARE(f.wnd.windowTitle(), kTitle);
        QVERIFY(f.wnd.isVisible());
    }
    QVERIFY(stamp1.Unchanged() && stamp2.Unchanged());
    QVERIFY(f.RunsAgain());
}

void TestWindowFaults::startCommandsQueuedBehindTheDialog() {
    Fixture f;
    f.app.m_cmdline.m_strPath1 = f.File("one.bin", Pattern(kLength));
    f.app.m_cmdline.m_strPath2 = f.File("two.bin", Pattern(kLength));
    f.wnd.m_bScripted = false;
    QTimer confirm; // every dialog that comes up is confirmed
    connect(&confirm, &QTimer::timeout, [] {
        if (QWidget* pModal = QApplication::activeModalWidget(); pModal && pModal->isVisible())
            ConfirmOrCancel(*pModal);
    });
    confirm.start(5);
    PostSelectFiles(&f.wnd);
    PostSelectFiles(&f.wnd);
    QVERIFY(Await([&] { return f.finishes.m_nCount > 0 && !f.wnd.GetJob(); }));
    QTest::qWait(50);
    QCOMPARE(f.wnd.m_nDialogs, 1);
    QCOMPARE(f.finishes.m_nCount, 1);
    QCOMPARE(FirstWrongBlock(f.app, f.BlockSize(), 0, 0, 0), -1);
    QVERIFY(ShowsFinished(f.wnd, f.app.m_cmdline.m_strPath1, f.app.m_cmdline.m_strPath2));
}

void TestWindowFaults::hostileNames_data() {
    QTest::addColumn<QByteArray>("name"); // of the primary file, in the temporary folder
    QByteArray long4000;
    for (int i = 0; i < 16; ++i)
        long4000 += QByteArray(250, char('a' + i)) + '/';
    for (const QByteArray& name :
         {QByteArray("a  b c.bin"), QByteArray("a && b &.bin"), QByteArray("<b>bold<i>.bin"),
          QByteArray("a\tb.bin"), QByteArray("a\nb.bin"), QByteArray("-x.bin"),
          QByteArray("\xff\xfe\x80 \xc3.bin"), long4000 + "f.bin"})
        QTest::newRow(name.left(20).toPercentEncoding().constData()) << name;
}

void TestWindowFaults::hostileNames() {
    QFETCH(QByteArray, name);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QFileInfo(dir.filePath(QString::fromLocal8Bit(name))).path()));
    const std::string strOne = dir.path().toStdString() + '/' + name.toStdString();
    // The folder's own clean-up cannot name a file that is not UTF-8.
    const std::unique_ptr<const char, void (*)(const char*)> removeOne(
        strOne.c_str(), [](const char* psz) { ::unlink(psz); });
    QByteArray bytes = Pattern(20000);
    QCOMPARE(::rename(WriteFile(dir, "tmp", bytes).c_str(), strOne.c_str()), 0);
    bytes[12345] = char(bytes[12345] ^ 1);
    const std::string strTwo = WriteFile(dir, "other.bin", bytes);
    const CFileStamp stamp1(strOne), stamp2(strTwo);
    const QStringList before = FolderEntries(dir);

    // Given on the command line; the dialog comes up filled with it and is confirmed.
    CTestScreen screen;
    CCompareApp theApp;
    CEventCounter finishes(UWM_FINISHED);
    AnswerNextModal([](QWidget& dialog) { ConfirmOrCancel(dialog); });
    theApp.InitInstance({"--", strOne, strTwo}, screen);
    CMainWnd& wnd = *theApp.m_pMainWnd;
    wnd.installEventFilter(&finishes);
    auto checkRun = [&](const std::string& str1, const std::string& str2) {
        QVERIFY(ShowsFinished(wnd, str1, str2));
        QCOMPARE(wnd.GetStrip().GetPaneTip(PANE_PRIMARY), str1);
        const auto i = int32_t(12345 / wnd.GetMapView().GetGeometry().m_nBlockSize);
        QCOMPARE(theApp.m_state.m_states.Get(i), uint8_t(BLOCK_DIFFERENT));
        QCOMPARE(theApp.m_state.m_states.Get(i + 1), uint8_t(BLOCK_EQUAL));
        wnd.GetMapView().repaint();
        QCOMPARE(wnd.GetStrip().GetPane(PANE_DIFFS).text, std::string("1"));
    };
    QTRY_COMPARE_WITH_TIMEOUT(finishes.m_nCount, 1, 20000);
    checkRun(strOne, strTwo);
    if (QTest::currentTestFailed())
        return;

    // Through the dialog: the two entries swapped by typing, the second run compares them.
    AnswerNextModal([&](QWidget& dialog) {
        const QString strText1 = dialog.findChild<QComboBox*>("111")->currentText();
        TypeInto(dialog, "111", dialog.findChild<QComboBox*>("116")->currentText());
        TypeInto(dialog, "116", strText1);
        auto* pOk = dialog.findChild<QAbstractButton*>("1");
        (void)QTest::qWaitFor([pOk] { return pOk->isEnabled(); }, 5000);
        ConfirmOrCancel(dialog);
    });
    PostSelectFiles(&wnd);
    QTRY_COMPARE_WITH_TIMEOUT(finishes.m_nCount, 2, 20000);
    checkRun(strTwo, strOne);
    QCOMPARE(theApp.m_state.m_history2.GetEntries().front(), strOne);
    wnd.removeEventFilter(&finishes);
    QVERIFY(stamp1.Unchanged() && stamp2.Unchanged());
    QCOMPARE(FolderEntries(dir), before);
}

void TestWindowFaults::filesThatAreNotFiles_data() {
    // info: the dialog's verdict; pane: the primary pane's text after a start all the same,
    // "" for the name, the run treating it as the empty file it says it is.
    Columns<QString, QString, QString>("kind", "info", "pane");
    const QString strZero = "File length is zero";
    QTest::newRow("folder") << "folder" << strZero << "Is a directory";
    QTest::newRow("FIFO") << "fifo" << strZero << "Illegal seek";
    QTest::newRow("socket") << "socket" << strZero << "No such device or address";
    QTest::newRow("/dev/zero") << "/dev/zero" << strZero << "Illegal seek";
    QTest::newRow("/proc/self/status") << "/proc/self/status" << strZero << "";
    const QString strMissing = "File not found";
    QTest::newRow("link loop") << "loop" << strMissing << "Too many levels of symbolic links";
    QTest::newRow("dangling link") << "dangling" << strMissing << "No such file or directory";
}

void TestWindowFaults::filesThatAreNotFiles() {
    const auto [kind, info, pane] = Fetch<QString, QString, QString>("kind", "info", "pane");
    Fixture f;
    const std::string strPath =
        kind.startsWith('/') ? kind.toStdString() : f.dir.filePath(kind).toStdString();
    const char* psz = strPath.c_str();
    if (kind == "folder") {
        QCOMPARE(::mkdir(psz, 0700), 0);
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(psz, 0600), 0);
    } else if (kind == "loop" || kind == "dangling") {
        QCOMPARE(::symlink(kind == "loop" ? psz : (strPath + ".gone").c_str(), psz), 0);
    } else if (kind == "socket") {
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        QVERIFY(strPath.size() < sizeof addr.sun_path);
        std::strcpy(addr.sun_path, psz);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    const std::string strOther = f.File("other.bin", "x");

    // The dialog says why and keeps OK off; cancelled, it changes nothing.
    f.app.m_cmdline.m_strPath1 = strPath;
    f.app.m_cmdline.m_strPath2 = strOther;
    f.wnd.m_bScripted = false;
    QString strInfo;
    bool bOk = true;
    AnswerNextModal([&](QWidget& dialog) {
        strInfo = dialog.findChild<QLineEdit*>("113")->text();
        bOk = dialog.findChild<QAbstractButton*>("1")->isEnabled();
        ClickButton(dialog, "2");
    });
    PostSelectFiles(&f.wnd);
    QTRY_COMPARE(f.wnd.m_nDialogs, 1);
    QTRY_COMPARE(strInfo, info);
    QVERIFY(!bOk);
    QCOMPARE(f.GetPane(PANE_PRIMARY).text, std::string());
    QCOMPARE(f.wnd.GetJob(), nullptr);

    f.wnd.m_bScripted = true;
    f.Start(strPath, strOther);
    if (pane.isEmpty()) {
        QVERIFY(f.WaitIdle());
        QVERIFY(ShowsFinished(f.wnd, strPath, strOther));
        QCOMPARE(f.app.m_states.Get(0), uint8_t(BLOCK_LENGTH_DIFFERS));
    } else {
        QCOMPARE(QString::fromStdString(f.GetPane(PANE_PRIMARY).text), pane);
        QCOMPARE(f.GetPane(PANE_PRIMARY).color, CLR_ERROR);
        QCOMPARE(f.GetPane(PANE_SECONDARY).text, strOther);
        QCOMPARE(f.wnd.GetJob(), nullptr);
        QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, 0u);
        QCOMPARE(f.wnd.windowTitle(), kTitle);
    }
    QVERIFY(f.RunsAgain());
}

QTEST_MAIN(TestWindowFaults)
#include "tst_windowfaults.moc"
