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

// Which of the two compared files a path names: 1 for "one…", 2 for "two…", else 0.
int FileOf(const char* pszPath) {
    const char* pszSlash = std::strrchr(pszPath, '/');
    const std::string strName = pszSlash ? pszSlash + 1 : pszPath;
    return strName.rfind("one", 0) == 0 ? 1 : strName.rfind("two", 0) == 0 ? 2 : 0;
}

// Does one thing to a compared file when the worker first reads it at a chosen offset, before
// that read, and fails reads of the files in a mask over a byte range on either thread.
class CScenarioFs : public CFileSystem {
public:
    enum EAction { None, Truncate, Grow, Delete, Rename };

    int Open(const char* pszPath, int nFlags) override {
        const int fd = CFileSystem::Open(pszPath, nFlags);
        if (fd >= 0 && fd < 1024)
            m_nFileOf[fd] = FileOf(pszPath);
        return fd;
    }
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        const int nFile = fd >= 0 && fd < 1024 ? m_nFileOf[fd].load() : 0;
        if (std::this_thread::get_id() != m_main && nFile == m_nFile && nOffset == m_nAt &&
            !m_bActed.exchange(true))
            Act();
        if (nFile & m_nFailMask) {
            if (nOffset >= m_nFailFirst && nOffset < m_nFailEnd) {
                errno = EIO;
                return -1;
            }
            if (nOffset < m_nFailFirst && nOffset + off_t(nCount) > m_nFailFirst)
                nCount = size_t(m_nFailFirst - nOffset);
        }
        return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }

    EAction m_action = None;
    int m_nFile = 0;
    off_t m_nAt = 0;
    int64_t m_nParam = 0;
    std::string m_strPath; // of file m_nFile
    int m_nFailMask = 0;   // 1 the primary, 2 the secondary
    off_t m_nFailFirst = 0;
    off_t m_nFailEnd = 0;

private:
    void Act() {
        const char* pszPath = m_strPath.c_str();
        if (m_action == Truncate) {
            (void)!::truncate(pszPath, off_t(m_nParam));
        } else if (m_action == Grow) {
            const int fd = ::open(pszPath, O_WRONLY | O_APPEND | O_CLOEXEC);
            const QByteArray tail(m_nParam, 'g');
            (void)!::write(fd, tail.constData(), size_t(tail.size()));
            ::close(fd);
        } else if (m_action == Delete) {
            ::unlink(pszPath);
        } else if (m_action == Rename) {
            ::rename(pszPath, (m_strPath + ".moved").c_str());
        }
    }
    std::thread::id m_main = std::this_thread::get_id();
    std::atomic<int> m_nFileOf[1024] = {};
    std::atomic<bool> m_bActed{false};
};

struct Fixture {
    Fixture() {
        g_abortConfirm.m_bAbort.store(0);
        wnd.resize(800, 600);
        wnd.show();
        bExposed = QTest::qWaitForWindowExposed(&wnd);
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
        Start(File("again1", Pattern(5000)), File("again2", Pattern(5000)));
        return WaitIdle() && finishes.m_nCount == nBefore + 1 &&
               GetPane(PANE_PROGRESS).text.rfind("100% in ", 0) == 0 &&
               GetPane(PANE_PRIMARY).color == CLR_NAME && wnd.windowTitle() == kTitle;
    }
    uint32_t BlockSize() { return wnd.GetMapView().GetGeometry().m_nBlockSize; }

    QTemporaryDir dir;
    CTestScreen screen;
    CAppState app;
    CScriptedWnd wnd{app, screen};
    CEventCounter finishes{UWM_FINISHED};
    bool bExposed = false;
};

// Every block of a finished run: iBad in [nBadFirst, nBadEnd) of bytes has nBadState, the
// rest are equal. The first block that is not so, or -1.
int64_t FirstWrongBlock(const CAppState& app, uint32_t B, int64_t nBadFirst, int64_t nBadEnd,
                        uint8_t nBadState) {
    const int64_t K = (kLength + B - 1) / B;
    for (int64_t i = 0; i < K; ++i) {
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

class TestWindowFaults : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase();
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

void TestWindowFaults::cleanupTestCase() {
    QCOMPARE(m_home.Created(), QStringList());
}

void TestWindowFaults::faultDuringRun_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("file");  // the one acted on
    QTest::addColumn<qint64>("at"); // the worker's read that sets it off
    QTest::addColumn<qint64>("param");
    QTest::addColumn<int>("failMask");
    QTest::addColumn<qint64>("badFirst"); // the bytes whose blocks end up not equal
    QTest::addColumn<qint64>("badEnd");
    QTest::addColumn<int>("badState");
    QTest::addColumn<QString>("diffs");
    const int T = CScenarioFs::Truncate;
    QTest::newRow("secondary truncated mid-run")
        << T << 2 << 2 * kLoad << qint64(600001) << 0 << qint64(600001) << kLength
        << int(BLOCK_LENGTH_DIFFERS) << "1";
    QTest::newRow("primary truncated to nothing")
        << T << 1 << qint64(0) << qint64(0) << 0 << qint64(0) << kLength
        << int(BLOCK_LENGTH_DIFFERS) << "1";
    QTest::newRow("primary grows") << int(CScenarioFs::Grow) << 1 << kLoad << qint64(100000) << 0
                                   << qint64(0) << qint64(0) << 0 << "0";
    QTest::newRow("primary deleted") << int(CScenarioFs::Delete) << 1 << kLoad << qint64(0) << 0
                                     << qint64(0) << qint64(0) << 0 << "0";
    QTest::newRow("secondary renamed") << int(CScenarioFs::Rename) << 2 << 3 * kLoad << qint64(0)
                                       << 0 << qint64(0) << qint64(0) << 0 << "0";
    // The region starts 20 bytes into a load: those 20 bytes are read, the rest of the block
    // is not.
    QTest::newRow("primary unreadable over a region")
        << 0 << 0 << qint64(0) << qint64(0) << 1 << 2 * kLoad + 20 << qint64(600000)
        << int(BLOCK_READ_ERROR) << "0";
    // Here the load from 262144 gets 37856 bytes before failing: its whole blocks are compared.
    QTest::newRow("primary unreadable from inside a load")
        << 0 << 0 << qint64(0) << qint64(0) << 1 << qint64(300000) << qint64(400000)
        << int(BLOCK_READ_ERROR) << "0";
    QTest::newRow("both unreadable over a region")
        << 0 << 0 << qint64(0) << qint64(0) << 3 << 2 * kLoad << 3 * kLoad << int(BLOCK_READ_ERROR)
        << "0";
}

void TestWindowFaults::faultDuringRun() {
    QFETCH(int, action);
    QFETCH(int, file);
    QFETCH(qint64, at);
    QFETCH(qint64, param);
    QFETCH(int, failMask);
    QFETCH(qint64, badFirst);
    QFETCH(qint64, badEnd);
    QFETCH(int, badState);
    QFETCH(QString, diffs);
    Fixture f;
    const std::string strOne = f.File("one.bin", Pattern(kLength));
    const std::string strTwo = f.File("two.bin", Pattern(kLength));
    const CFileStamp stamp1(strOne), stamp2(strTwo);
    const QStringList before = FolderEntries(f.dir);
    CScenarioFs fs;
    fs.m_action = CScenarioFs::EAction(action);
    fs.m_nFile = file;
    fs.m_nAt = off_t(at);
    fs.m_nParam = param;
    fs.m_strPath = file == 1 ? strOne : strTwo;
    fs.m_nFailMask = failMask;
    fs.m_nFailFirst = off_t(badFirst);
    fs.m_nFailEnd = off_t(badEnd);
    {
        CInstalledFileSystem installed(&fs);
        f.Start(strOne, strTwo);
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.finishes.m_nCount, 1);
        QCOMPARE(FirstWrongBlock(f.app, f.BlockSize(), badFirst, badEnd, uint8_t(badState)), -1);
        f.wnd.GetMapView().repaint(); // the count is the paint's
        QCOMPARE(QString::fromStdString(f.GetPane(PANE_DIFFS).text), diffs);
        QVERIFY(QString::fromStdString(f.GetPane(PANE_PROGRESS).text).startsWith("100% in "));
        QCOMPARE(f.GetPane(PANE_PRIMARY).text, strOne);
        QCOMPARE(f.GetPane(PANE_SECONDARY).text, strTwo);
        QCOMPARE(f.GetPane(PANE_PRIMARY).color, CLR_NAME);
        QCOMPARE(f.GetPane(PANE_SECONDARY).color, CLR_NAME);
        QCOMPARE(f.wnd.windowTitle(), kTitle);
        if (failMask == 1) {
            // A black cell's tip dumps what could be read: the primary's bytes before the
            // region, then the secondary's.
            CMapView& map = f.wnd.GetMapView();
            const uint32_t nCellSize = map.GetGeometry().m_nCellSize;
            const auto nCell = int32_t(badFirst / nCellSize);
            const qint64 nReadable = badFirst - nCell * qint64(nCellSize);
            QVERIFY(nReadable < 48); // so that the dump starts at the cell
            const QStringList lines = AskCellTip(map, nCell).split('\n');
            const qsizetype nRule = lines.indexOf(QString(57, '-'));
            QVERIFY2(nRule == 2 + (nReadable + 15) / 16, qPrintable(lines.join('\n')));
            QCOMPARE(lines.size() - nRule - 2, qsizetype(std::min<uint32_t>(nCellSize, 80) / 16));
            QVERIFY(lines[2].startsWith(
                QString("%1").arg(nCell * nCellSize, 8, 16, QChar('0')).toUpper()));
        }
    }
    QVERIFY(file == 1 || stamp1.Unchanged());
    QVERIFY(file == 2 || stamp2.Unchanged());
    if (action == CScenarioFs::None)
        QCOMPARE(FolderEntries(f.dir), before);
    QVERIFY(f.RunsAgain());
}

void TestWindowFaults::abortAtBlock_data() {
    QTest::addColumn<int>("loads"); // each file's loads let through before the worker is held
    QTest::addColumn<QString>("answer");
    for (const char* pszAnswer : {"Yes", "No"}) {
        QTest::addRow("first block, %s", pszAnswer) << 0 << pszAnswer;
        QTest::addRow("middle block, %s", pszAnswer) << 2 << pszAnswer;
        QTest::addRow("last block, %s", pszAnswer) << 3 << pszAnswer;
    }
}

void TestWindowFaults::abortAtBlock() {
    QFETCH(int, loads);
    QFETCH(QString, answer);
    Fixture f;
    // Three loads and one block: the fourth load holds the last block alone.
    const std::string strOne = f.File("one.bin", Pattern(3 * kLoad + 32));
    const std::string strTwo = f.File("two.bin", Pattern(3 * kLoad + 32));
    const CFileStamp stamp1(strOne), stamp2(strTwo);
    // An earlier run's "100%" must not stand for this one when it is abandoned.
    QVERIFY(f.RunsAgain());
    CReusableGate gate;
    gate.Hold(2 * loads);
    {
        CInstalledFileSystem installed(&gate);
        f.Start(strOne, strTwo);
        QVERIFY(f.wnd.GetJob());
        const uint32_t B = f.BlockSize();
        QCOMPARE(B, 32u); // so that the last load is the last block
        const auto nHeld = int32_t(loads * kLoad / B);
        QVERIFY(Await([&] { return gate.Waiting() == 1; }));
        QCOMPARE(f.wnd.GetJob()->m_nDone.load(), nHeld);
        const std::string strShown = f.GetPane(PANE_PROGRESS).text;
        AnswerNextModal([&](QWidget& box) { ClickButton(box, answer); });
        QVERIFY(!f.wnd.close());
        QCOMPARE(g_abortConfirm.m_bAbort.load(), uint8_t(answer == "Yes"));
        QVERIFY(f.wnd.GetJob()); // held still, whatever the answer
        gate.Release();
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.finishes.m_nCount, 2);
        QCOMPARE(g_abortConfirm.m_bAbort.load(), uint8_t(0));
        const int32_t K = int32_t((3 * kLoad + 32) / B);
        // Yes: the held block is finished, the next is never begun.
        const int32_t nEqualEnd = answer == "Yes" ? nHeld + 1 : K;
        for (int32_t i : {0, nHeld, nEqualEnd - 1})
            QCOMPARE(f.app.m_states.Get(i), uint8_t(BLOCK_EQUAL));
        if (nEqualEnd < K)
            QCOMPARE(f.app.m_states.Get(nEqualEnd), uint8_t(BLOCK_PENDING));
        if (answer == "Yes")
            QVERIFY(f.GetPane(PANE_PROGRESS).text.rfind("100%", 0) != 0);
        else
            QVERIFY(f.GetPane(PANE_PROGRESS).text.rfind("100% in ", 0) == 0);
        if (answer == "Yes" && loads == 0)
            QCOMPARE(f.GetPane(PANE_PROGRESS).text, strShown);
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
    int nShown = 0; // every dialog that comes up is confirmed
    QPointer<QWidget> pLast;
    QTimer confirm;
    connect(&confirm, &QTimer::timeout, [&] {
        QWidget* pModal = QApplication::activeModalWidget();
        if (pModal && pModal->isVisible() && pModal != pLast) {
            pLast = pModal;
            ++nShown;
            ConfirmOrCancel(*pModal);
        }
    });
    confirm.start(5);
    PostSelectFiles(&f.wnd);
    PostSelectFiles(&f.wnd);
    QVERIFY(Await([&] { return f.finishes.m_nCount > 0 && !f.wnd.GetJob(); }));
    QTest::qWait(50);
    QCOMPARE(nShown, 1);
    QCOMPARE(f.finishes.m_nCount, 1);
    QCOMPARE(FirstWrongBlock(f.app, f.BlockSize(), 0, 0, 0), -1);
    QVERIFY(QString::fromStdString(f.GetPane(PANE_PROGRESS).text).startsWith("100% in "));
}

void TestWindowFaults::hostileNames_data() {
    QTest::addColumn<QByteArray>("name"); // of the primary file, in the temporary folder
    QTest::newRow("blanks") << QByteArray("a  b c.bin");
    QTest::newRow("ampersand") << QByteArray("a && b &.bin");
    QTest::newRow("markup") << QByteArray("<b>bold<i>.bin");
    QTest::newRow("tab") << QByteArray("a\tb.bin");
    QTest::newRow("newline") << QByteArray("a\nb.bin");
    QTest::newRow("leading dash") << QByteArray("-x.bin");
    QTest::newRow("not UTF-8") << QByteArray("\xff\xfe\x80 \xc3.bin");
    QByteArray long4000;
    for (int i = 0; i < 16; ++i)
        long4000 += QByteArray(250, char('a' + i)) + '/';
    QTest::newRow("4000 bytes, nested") << long4000 + "f.bin";
}

void TestWindowFaults::hostileNames() {
    QFETCH(QByteArray, name);
    QTemporaryDir dir;
    const QString strName = QString::fromLocal8Bit(name); // only to make the folders
    QVERIFY(QDir(dir.path()).mkpath(QFileInfo(dir.filePath(strName)).path()));
    const std::string strOne = dir.path().toStdString() + '/' + name.toStdString();
    // The folder's own clean-up cannot name a file that is not UTF-8.
    const std::unique_ptr<const char, void (*)(const char*)> removeOne(
        strOne.c_str(), [](const char* psz) { ::unlink(psz); });
    QByteArray bytes = Pattern(20000);
    {
        const std::string strTmp = WriteFile(dir, "tmp", bytes);
        QCOMPARE(::rename(strTmp.c_str(), strOne.c_str()), 0); // the name as bytes
    }
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
    QTRY_COMPARE_WITH_TIMEOUT(finishes.m_nCount, 1, 20000);
    auto checkRun = [&](const std::string& str1, const std::string& str2) {
        const CPaneBar::Pane& primary = wnd.GetStrip().GetPane(PANE_PRIMARY);
        const CPaneBar::Pane& secondary = wnd.GetStrip().GetPane(PANE_SECONDARY);
        QVERIFY(primary.text == str1 && primary.color == CLR_NAME);
        QVERIFY(secondary.text == str2 && secondary.color == CLR_NAME);
        QVERIFY(wnd.GetStrip().GetPaneTip(PANE_PRIMARY) == str1);
        QVERIFY(QString::fromStdString(wnd.GetStrip().GetPane(PANE_PROGRESS).text)
                    .startsWith("100% in "));
        const uint32_t B = wnd.GetMapView().GetGeometry().m_nBlockSize;
        QCOMPARE(theApp.m_state.m_states.Get(int32_t(12345 / B)), uint8_t(BLOCK_DIFFERENT));
        QCOMPARE(theApp.m_state.m_states.Get(int32_t(12345 / B) + 1), uint8_t(BLOCK_EQUAL));
        wnd.GetMapView().repaint();
        QCOMPARE(wnd.GetStrip().GetPane(PANE_DIFFS).text, std::string("1"));
        QCOMPARE(wnd.windowTitle(), kTitle);
    };
    checkRun(strOne, strTwo);
    if (QTest::currentTestFailed())
        return;
    // A name that is not UTF-8 shows its stray bytes as replacement characters.
    QCOMPARE(QString::fromUtf8(wnd.GetStrip().GetPane(PANE_PRIMARY).text).contains(QChar(0xFFFD)),
             name.contains('\xff'));

    // Through the dialog: the two entries swapped by typing, the second run compares them.
    QString strShown1;
    AnswerNextModal([&](QWidget& dialog) {
        auto* pCombo1 = dialog.findChild<QComboBox*>("111");
        auto* pCombo2 = dialog.findChild<QComboBox*>("116");
        strShown1 = pCombo1->currentText();
        const QString strText2 = pCombo2->currentText();
        TypeInto(dialog, "111", strText2);
        TypeInto(dialog, "116", strShown1);
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
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("info"); // the dialog's verdict
    QTest::addColumn<QString>("pane"); // the primary pane's text; "" the name, in its colour
    QTest::newRow("folder") << "folder"
                            << "File length is zero"
                            << "Is a directory";
    QTest::newRow("FIFO") << "fifo"
                          << "File length is zero"
                          << "Illegal seek";
    QTest::newRow("socket") << "socket"
                            << "File length is zero"
                            << "No such device or address";
    QTest::newRow("/dev/zero") << "/dev/zero"
                               << "File length is zero"
                               << "Illegal seek";
    QTest::newRow("/proc/self/status") << "/proc/self/status"
                                       << "File length is zero"
                                       << "";
    QTest::newRow("link loop") << "loop"
                               << "File not found"
                               << "Too many levels of symbolic links";
    QTest::newRow("dangling link") << "dangling"
                                   << "File not found"
                                   << "No such file or directory";
}

void TestWindowFaults::filesThatAreNotFiles() {
    QFETCH(QString, kind);
    QFETCH(QString, info);
    QFETCH(QString, pane);
    Fixture f;
    std::string strPath = kind.toStdString();
    if (!kind.startsWith('/')) {
        strPath = f.dir.filePath(kind).toStdString();
        const char* psz = strPath.c_str();
        if (kind == "folder") {
            QVERIFY(QDir().mkdir(QString::fromStdString(strPath)));
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(psz, 0600), 0);
        } else if (kind == "loop") {
            QCOMPARE(::symlink(psz, psz), 0);
        } else if (kind == "dangling") {
            QCOMPARE(::symlink((strPath + ".gone").c_str(), psz), 0);
        } else if (kind == "socket") {
            sockaddr_un addr = {};
            addr.sun_family = AF_UNIX;
            QVERIFY(strPath.size() < sizeof addr.sun_path);
            std::strcpy(addr.sun_path, psz);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
            ::close(fd);
        }
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

    // Given to the start command all the same, the pane says why, or the run treats it as
    // the empty file it says it is.
    f.wnd.m_bScripted = true;
    f.Start(strPath, strOther);
    if (pane.isEmpty()) {
        QCOMPARE(f.GetPane(PANE_PRIMARY).text, strPath);
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.finishes.m_nCount, 1);
        QCOMPARE(f.app.m_states.Get(0), uint8_t(BLOCK_LENGTH_DIFFERS));
    } else {
        QCOMPARE(QString::fromStdString(f.GetPane(PANE_PRIMARY).text), pane);
        QCOMPARE(f.GetPane(PANE_PRIMARY).color, CLR_ERROR);
        QCOMPARE(f.wnd.GetJob(), nullptr);
        QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, 0u);
    }
    QCOMPARE(f.GetPane(PANE_SECONDARY).text, strOther);
    QCOMPARE(f.wnd.windowTitle(), kTitle);
    QVERIFY(f.RunsAgain());
}

QTEST_MAIN(TestWindowFaults)
#include "tst_windowfaults.moc"
