// The main window from start to finish: layout and keys, progress, a close asked for during a
// run, runs that fail, the engine's fault cases, hard names, drops and tips.
#include "engine/workerthread.h"
#include "tests/app/windowutil.h"
#include "tests/engine/faultcases.h"
#include "ui/selectfilesdlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

constexpr qint64 kLoad = 262144; // what the worker's reader takes in one read
const QString kTitle = CMainWnd::kTitle;

// Opening a "two" file fails on the worker's thread only, as when it vanishes after the start.
class CWorkerCannotOpen : public CFileSystem {
public:
    int Open(const char* pszPath, int nFlags) override {
        if (std::this_thread::get_id() != m_main &&
            std::string(pszPath).find("two") != std::string::npos)
            return errno = EACCES, -1;
        return CFileSystem::Open(pszPath, nFlags);
    }
    std::thread::id m_main = std::this_thread::get_id();
};

// The first and the last of a run's block states, then each kind once: what runs of the same
// files agree on whatever their block size.
QByteArray Kinds(QByteArray states) {
    const QByteArray ends = QByteArray(1, states.front()) + states.back();
    std::sort(states.begin(), states.end());
    return ends +
           QByteArray(states.begin(), std::unique(states.begin(), states.end()) - states.begin());
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

class TestMainWnd : public QObject {
    Q_OBJECT
    CEmptyHome m_home; // nothing a window does may write there

private slots:
    void cleanupTestCase() { QCOMPARE(m_home.Created(), QStringList()); }

    void layoutAndKeys_data() {
        Columns<QSize, QSize>("asked", "client");
        QTest::newRow("below the minimum") << QSize(300, 200) << QSize(512, 400);
        QTest::newRow("above the screen") << QSize(2000, 900) << QSize(1024, 768);
    }
    void layoutAndKeys() {
        const auto [asked, client] = Fetch<QSize, QSize>("asked", "client");
        CWindowFixture f;
        const int s = f.wnd.GetStrip().GetPreferredSize().height();
        QCOMPARE(f.wnd.GetMaxMapSize(), QSize(1020, 768 - 18 - s - 8));
        QCOMPARE(f.app.m_states.m_nCount, (1019 / 4) * ((768 - 18 - s - 8 - 1) / 4));
        QCOMPARE(f.wnd.windowTitle(), kTitle);
        QVERIFY(!f.wnd.windowIcon().isNull());
        QCOMPARE(g_abortConfirm.m_pMainWnd.data(), &f.wnd);
        f.wnd.resize(asked);
        QCOMPARE(f.wnd.size(), client);
        const int W = client.width(), H = client.height();
        QCOMPARE(f.wnd.GetMapView().geometry(), QRect(0, 0, W, H - s - 4));
        QCOMPARE(f.wnd.GetStrip().geometry(), QRect(0, H - s, W, s));
        QWidget* pSeparator = f.wnd.childAt(W / 2, H - s - 2);
        QVERIFY(pSeparator && pSeparator != &f.wnd.GetMapView() && pSeparator != &f.wnd.GetStrip());
        QCOMPARE(pSeparator->geometry(), QRect(0, H - s - 4, W, 4));
        // The map has the keys, and passes on those it does not take.
        QVERIFY(f.bActive);
        QCOMPARE(QApplication::focusWidget(), &f.wnd.GetMapView());
        QTest::keyClick(&f.wnd.GetMapView(), Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(f.wnd.m_nDialogs, 1);
        QTest::keyClick(&f.wnd.GetMapView(), Qt::Key_Escape); // with no run, Escape closes
        QTRY_VERIFY(!f.wnd.isVisible());
    }

    // A close asked for while the worker is held after some loads of each file: by Escape or
    // the close box, the question answered Yes or No, or left up until the run ends.
    void closeDuringRun_data() {
        Columns<int, bool, QString>("loads", "escape", "answer");
        QTest::newRow("first block, Escape, Yes") << 0 << true << "Yes";
        QTest::newRow("first block, close box, No") << 0 << false << "No";
        QTest::newRow("middle block, close box, Yes") << 2 << false << "Yes";
        QTest::newRow("middle block, Escape, No") << 2 << true << "No";
        QTest::newRow("last block, close box, Yes") << 3 << false << "Yes";
        QTest::newRow("last block, Escape, the run ends") << 3 << true << "end";
    }
    void closeDuringRun() {
        const auto [loads, escape, answer] = Fetch<int, bool, QString>("loads", "escape", "answer");
        CWindowFixture f(2 + 2 * loads); // a first run, then the loads of this one
        QVERIFY(f.RunsAgain());          // its "100%" must not stand for an abandoned run
        // Three loads and one block: the fourth load holds the last block alone.
        const std::string strOne = f.File("one.bin", Pattern(3 * kLoad + 32));
        const std::string strTwo = f.File("two.bin", Pattern(3 * kLoad + 32));
        const auto stamps = std::pair(FileStamp(strOne), FileStamp(strTwo));
        f.Start(strOne, strTwo);
        QCOMPARE(f.BlockSize(), 32u);
        const auto nHeld = int32_t(loads * kLoad / 32);
        QVERIFY(Await([&] { return f.wnd.GetJob() && f.wnd.GetJob()->m_nDone.load() == nHeld; }));
        if (loads > 0) { // the progress shown in the title too
            QTRY_VERIFY(!f.Text(PANE_PROGRESS).isEmpty());
            QCOMPARE(f.wnd.windowTitle(), f.Text(PANE_PROGRESS));
        }
        int nBoxes = 0;
        bool bAsAsked = false;
        QPointer<QMessageBox> pLast;
        QTimer watch; // answers each new question while it is up
        connect(&watch, &QTimer::timeout, [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox || !pBox->isVisible() || pBox == pLast)
                return;
            pLast = pBox;
            ++nBoxes;
            bAsAsked = pBox->windowTitle() == "Ask confirm abort" &&
                       pBox->text() == "Do You want compare abort ?" &&
                       pBox->icon() == QMessageBox::Question &&
                       pBox->standardButtons() == (QMessageBox::Yes | QMessageBox::No) &&
                       pBox->parentWidget() == &f.wnd;
            answer == "end" ? f.gate.Release() : ClickButton(*pBox, answer);
        });
        watch.start(10);
        auto requestClose = [&] {
            if (escape)
                QTest::keyClick(&f.wnd, Qt::Key_Escape);
            else
                QVERIFY(!f.wnd.close());
            QTest::qWait(50);
        };
        requestClose();
        QTRY_COMPARE(nBoxes, 1);
        QVERIFY(bAsAsked);
        const bool bYes = answer == "Yes";
        if (answer != "end") {
            QCOMPARE(g_abortConfirm.m_bAbort.load(), uint8_t(bYes));
            QVERIFY(f.wnd.GetJob()); // held still, whatever the answer
            if (bYes)                // a second request asks nothing
                requestClose();
        }
        f.gate.Release();
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.finishes.m_nCount, 2);
        QCOMPARE(g_abortConfirm.m_bAbort.load(), uint8_t(0));
        // Yes: the held block is finished, the next never begun; otherwise all are compared.
        const int32_t K = int32_t((3 * kLoad + 32) / 32), nEqualEnd = bYes ? nHeld + 1 : K;
        for (int32_t i = 0; i < K; ++i)
            QCOMPARE(f.app.m_states.Get(i), uint8_t(i < nEqualEnd ? BLOCK_EQUAL : BLOCK_PENDING));
        QCOMPARE(f.ShowsFinished(strOne, strTwo), !bYes);
        QVERIFY(!bYes || loads != 0 || f.Text(PANE_PROGRESS).startsWith("0.00% in "));
        QCOMPARE(f.wnd.windowTitle(), kTitle);
        QVERIFY(f.wnd.isVisible());
        QCOMPARE(nBoxes, 1);
        QVERIFY(stamps == std::pair(FileStamp(strOne), FileStamp(strTwo)));
        QVERIFY(f.RunsAgain());
    }

    // Right after the first progress is shown, and before any timer can run, the worker makes
    // the progress of a second load and stops again: its notice falls into the window's pause.
    void progressMadeWhileThePauseRunsIsShown() {
        CWindowFixture f(2);
        QString strFirst;
        f.wnd.m_afterProgress = [&] {
            strFirst = f.Text(PANE_PROGRESS);
            f.gate.Allow(2);
            for (int i = 0; i < 10000 && f.wnd.GetJob()->m_nDone.load() < int32_t(2 * kLoad / 32);
                 ++i)
                QThread::msleep(1);
        };
        f.Start(f.File("one", Pattern(3 * kLoad + 32)), f.File("two", Pattern(3 * kLoad + 32)));
        QTRY_VERIFY(!strFirst.isEmpty() && f.Text(PANE_PROGRESS) != strFirst);
        QVERIFY(f.wnd.GetJob());
        QCOMPARE(f.wnd.windowTitle(), f.Text(PANE_PROGRESS));
    }
    void elapsedTextInPaneAndTitle_data() {
        Columns<qint64, QString>("ms", "text");
        QTest::newRow("4.999 s") << qint64(4999) << "4.999s";
        QTest::newRow("one hour") << qint64(3600000) << "1:00:00s";
    }
    void elapsedTextInPaneAndTitle() {
        const auto [ms, text] = Fetch<qint64, QString>("ms", "text");
        CWindowFixture f;
        f.wnd.m_nOffset = ms;
        f.Start(f.File("one", Pattern(64)), f.File("two", Pattern(64))); // progress after 32, 64
        f.wnd.GetJob()->Join(); // its notices are queued, not yet handled
        QEvent progress(UWM_PROGRESS), finished(UWM_FINISHED);
        QApplication::sendEvent(&f.wnd, &progress);
        QCOMPARE(f.Text(PANE_PROGRESS), "100.00% in " + text);
        QCOMPARE(f.wnd.windowTitle(), "100.00% in " + text);
        QVERIFY(f.WaitIdle());
        // Shown once finished, and no notice without a job changes it.
        for (QEvent* pEvent : {&progress, &finished, &progress}) {
            QCOMPARE(f.Text(PANE_PROGRESS), "100% in " + text);
            QCOMPARE(f.wnd.windowTitle(), kTitle);
            QApplication::sendEvent(&f.wnd, pEvent);
        }
    }

    // Runs that show an error; the sound run after them shows names again. second: what the
    // second file is; fault: no thread to run on, or the worker cannot open the second file.
    void runsWithAnError_data() {
        Columns<QString, QString, QString, QString, uint>("second", "fault", "pane", "progress",
                                                          "length");
        const QString strDenied = "Comapre error: Permission denied";
        QTest::newRow("missing") << "missing"
                                 << ""
                                 << "No such file or directory"
                                 << "" << 0u;
        QTest::newRow("a folder") << "folder"
                                  << ""
                                  << "Is a directory"
                                  << "" << 0u;
        QTest::newRow("a FIFO") << "fifo"
                                << ""
                                << "Illegal seek"
                                << "" << 0u;
        QTest::newRow("a link loop") << "loop"
                                     << ""
                                     << "Too many levels of symbolic links"
                                     << "" << 0u;
        QTest::newRow("both empty") << ""
                                    << ""
                                    << ""
                                    << "" << 0u;
        QTest::newRow("no thread") << "x"
                                   << "thread"
                                   << ""
                                   << "Cannot start: " << 1u;
        QTest::newRow("worker cannot open") << "pattern"
                                            << "worker" << strDenied << "" << 5000u;
        QTest::newRow("worker cannot open, Yes given") << "pattern"
                                                       << "Yes" << strDenied << "" << 5000u;
    }
    void runsWithAnError() {
        const auto [second, fault, pane, progress, length] =
            Fetch<QString, QString, QString, QString, uint>("second", "fault", "pane", "progress",
                                                            "length");
        CWindowFixture f;
        {
            CWorkerCannotOpen fs;
            std::optional<CInstalledFileSystem> installed;
            if (length == 5000)
                installed.emplace(&fs);
            const QByteArray bytes = second.isEmpty() ? "" : length == 5000 ? Pattern(5000) : "x";
            const std::string strTwo = f.dir.filePath("two").toStdString();
            if (second == "folder")
                QCOMPARE(::mkdir(strTwo.c_str(), 0700), 0);
            else if (second == "fifo")
                QCOMPARE(::mkfifo(strTwo.c_str(), 0600), 0);
            else if (second == "loop")
                QCOMPARE(::symlink(strTwo.c_str(), strTwo.c_str()), 0);
            else if (second != "missing")
                f.File("two", bytes);
            SimulateThreadStartFailure(fault == "thread");
            f.Start(f.File("one", bytes), strTwo);
            SimulateThreadStartFailure(false);
            if (fault == "Yes") // before the finish is handled
                g_abortConfirm.m_bAbort.store(1);
            QVERIFY(f.WaitIdle());
            QCOMPARE(f.Pane(PANE_PRIMARY).color, CLR_NAME);
            QCOMPARE(f.Text(PANE_SECONDARY),
                     pane.isEmpty() ? QString::fromStdString(strTwo) : pane);
            QCOMPARE(f.Pane(PANE_SECONDARY).color, pane.isEmpty() ? CLR_NAME : CLR_ERROR);
            QVERIFY(f.Text(PANE_PROGRESS).startsWith(progress));
            QCOMPARE(progress.isEmpty(), f.Text(PANE_PROGRESS).isEmpty());
            QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, uint64_t(length));
            QCOMPARE(f.wnd.windowTitle(), kTitle);
        }
        QVERIFY(f.RunsAgain());
    }

    // The engine's fault cases, run by the window: one finish, the states the engine gives,
    // both names shown, nothing written, and a sound run after.
    void faultDuringRun_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(faults::kCases)); ++i) {
            const faults::Case& c = faults::kCases[i];
            if (c.action != faults::Abort && std::max(c.nLength1, c.nLength2) == faults::M)
                QTest::newRow(c.pszName) << i;
        }
    }
    void faultDuringRun() {
        QFETCH(int, row);
        const faults::Case& c = faults::kCases[row];
        CWindowFixture f;
        {
            faults::CFaultRun fault(c, f.dir, g_abortConfirm.m_bAbort);
            const auto stamps = std::pair(FileStamp(fault.strFirst), FileStamp(fault.strSecond));
            const QStringList before = FolderEntries(f.dir);
            f.Start(fault.strFirst, fault.strSecond);
            QVERIFY(f.WaitIdle());
            QCOMPARE(fault.nActed.load(), 0);
            QCOMPARE(f.finishes.m_nCount, 1);
            QVERIFY(f.ShowsFinished(fault.strFirst, fault.strSecond));
            QByteArray states;
            for (int64_t i = 0; i * f.BlockSize() < faults::M; ++i)
                states += char('0' + f.app.m_states.Get(int32_t(i)));
            QCOMPARE(Kinds(states), Kinds(faults::Runs(c.pszStates)));
            QVERIFY(c.action != faults::None ||
                    (stamps == std::pair(FileStamp(fault.strFirst), FileStamp(fault.strSecond)) &&
                     FolderEntries(f.dir) == before));
        }
        QVERIFY(f.RunsAgain());
    }

    // Names that are hard to pass on, through the real dialog: first as given, then swapped by
    // typing. Each run opens the right files: exactly the one changed block differs.
    void namesThroughTheDialog_data() {
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
    void namesThroughTheDialog() {
        QFETCH(QByteArray, name);
        CWindowFixture f;
        QVERIFY(QDir(f.dir.path())
                    .mkpath(QFileInfo(f.dir.filePath(QString::fromLocal8Bit(name))).path()));
        const std::string strOne = f.dir.path().toStdString() + '/' + name.toStdString();
        // The folder's own clean-up cannot name a file that is not UTF-8.
        const std::unique_ptr<const char, void (*)(const char*)> removeOne(
            strOne.c_str(), [](const char* psz) { ::unlink(psz); });
        QByteArray bytes = Pattern(20000);
        QCOMPARE(::rename(f.File("tmp", bytes).c_str(), strOne.c_str()), 0);
        bytes[12345] = char(bytes[12345] ^ 1);
        const std::string strTwo = f.File("other.bin", bytes);
        f.app.m_cmdline.m_strPath1 = strOne;
        f.app.m_cmdline.m_strPath2 = strTwo;
        f.wnd.m_bScripted = false;
        for (const bool bSwap : {false, true}) {
            AnswerNextModal([bSwap](QWidget& dialog) {
                const QString strText1 = dialog.findChild<QComboBox*>("111")->currentText();
                if (bSwap) {
                    TypeInto(dialog, "111", dialog.findChild<QComboBox*>("116")->currentText());
                    TypeInto(dialog, "116", strText1);
                    auto* pOk = dialog.findChild<QAbstractButton*>("1");
                    (void)QTest::qWaitFor([pOk] { return pOk->isEnabled(); }, 5000);
                }
                ConfirmOrCancel(dialog);
            });
            f.Start({}, {});
            QVERIFY(f.WaitIdle());
            const std::string& str1 = bSwap ? strTwo : strOne;
            QVERIFY(f.ShowsFinished(str1, bSwap ? strOne : strTwo));
            QCOMPARE(f.wnd.GetStrip().GetPaneTip(PANE_PRIMARY), str1);
            QCOMPARE(f.app.m_history1.GetEntries().front(), str1);
            const auto i = int32_t(12345 / f.BlockSize());
            QCOMPARE(f.app.m_states.Get(i), uint8_t(BLOCK_DIFFERENT));
            QCOMPARE(f.app.m_states.Get(i + 1), uint8_t(BLOCK_EQUAL));
            f.wnd.GetMapView().repaint(); // the count is the paint's
            QCOMPARE(f.Text(PANE_DIFFS), "1");
        }
        // Keys reach the map once the dialog is gone.
        QCOMPARE(QApplication::focusWidget(), &f.wnd.GetMapView());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down, Qt::AltModifier);
        QVERIFY(f.wnd.GetMapView().GetGeometry().m_nSelected >= 0);
    }

    // Files dropped on the window pre-fill the dialog; anything else is refused, and so is any
    // drop during a run. "@name" is a file in the folder (raw bytes); refused: no entries.
    void drop_data() {
        Columns<QByteArrayList, QByteArrayList, bool>("urls", "entries", "running");
        const QByteArray notUtf8 = "@\xff\xfe name.bin";
        QTest::newRow("one file") << QByteArrayList{"@1"} << QByteArrayList{"@1", "@earlier 2"}
                                  << false;
        QTest::newRow("two files, compared")
            << QByteArrayList{notUtf8, "@<2> &"} << QByteArrayList{notUtf8, "@<2> &"} << false;
        QTest::newRow("localhost") << QByteArrayList{"file://localhost/etc/hostname"}
                                   << QByteArrayList{"/etc/hostname", "@earlier 2"} << false;
        for (const QByteArrayList& refused :
             {QByteArrayList{"@a", "@b", "@c"}, QByteArrayList{"@a", "https://example.com/a.bin"},
              QByteArrayList{"file://server/share/a"}, QByteArrayList{}})
            QTest::addRow("refused: %s", refused.join(", ").constData())
                << refused << QByteArrayList{} << false;
        QTest::newRow("during a run") << QByteArrayList{"@1"} << QByteArrayList{} << true;
    }
    void drop() {
        const auto [urls, entries, running] =
            Fetch<QByteArrayList, QByteArrayList, bool>("urls", "entries", "running");
        CWindowFixture f(running ? 0 : 1 << 30);
        auto path = [&](const QByteArray& entry) {
            return entry.startsWith('@')
                       ? f.dir.path().toStdString() + "/" + entry.mid(1).toStdString()
                       : entry.toStdString();
        };
        f.Start(f.File("earlier 1", "x"), f.File("earlier 2", "y"));
        QVERIFY(running ? f.wnd.GetJob() != nullptr : f.WaitIdle());
        QMimeData data;
        QList<QUrl> list;
        for (const QByteArray& url : urls) { // files that differ, for the row that runs them
            if (url.startsWith('@'))
                QCOMPARE(::rename(f.File("tmp", Pattern(70000, unsigned(list.size()))).c_str(),
                                  path(url).c_str()),
                         0);
            list.append(
                url.startsWith('@')
                    ? QUrl::fromEncoded("file://" +
                                        QByteArray::fromStdString(path(url)).toPercentEncoding("/"))
                    : QUrl(url));
        }
        list.empty() ? data.setText("not a file") : data.setUrls(list);
        const QPoint pt(f.wnd.width() / 2, f.wnd.height() / 2);
        QDragEnterEvent enter(pt, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&f.wnd, &enter);
        QDropEvent drop(pt, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        drop.ignore();
        f.wnd.m_bScripted = false;
        std::vector<std::string> shown;
        const bool bCompare = urls.size() == 2;
        if (!entries.empty())
            AnswerNextModal([&](QWidget& dialog) {
                if (auto* pDialog = qobject_cast<CSelectFilesDlg*>(&dialog))
                    shown = {pDialog->GetPrimaryPath(), pDialog->GetSecondaryPath()};
                ClickButton(dialog, bCompare ? "1" : "2");
            });
        QCoreApplication::sendEvent(&f.wnd, &drop);
        QCOMPARE(enter.isAccepted(), !entries.empty());
        QCOMPARE(drop.isAccepted(), !entries.empty());
        f.gate.Release();
        QTest::qWait(100);
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.wnd.m_nDialogs, entries.empty() ? 1 : 2);
        if (entries.empty())
            return;
        QCOMPARE(shown, (std::vector{path(entries[0]), path(entries[1])}));
        QCOMPARE((std::vector{f.app.m_cmdline.m_strPath1, f.app.m_cmdline.m_strPath2}),
                 (bCompare ? shown : std::vector{path("@earlier 1"), path("@earlier 2")}));
        QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, bCompare ? 70000u : 1u);
    }

    // No tip before the first comparison, even where one would be; then the platform's timing:
    // a second's rest, 200 ms from one tip to the next, 30 seconds up.
    void tipsWaitForTheFirstRun() {
        CWindowFixture f;
        CToolTipRouter& tips = f.wnd.GetToolTips();
        QVERIFY(std::tuple(tips.m_nInitialMs, tips.m_nReshowMs, tips.m_nAutoPopMs) ==
                std::tuple(1000, 200, 30000));
        tips.m_nInitialMs = 50;
        CStatusStrip& strip = f.wnd.GetStrip();
        strip.SetPaneTip(PANE_PRIMARY, "/a/tip.bin");
        const QPoint pt = strip.mapTo(&f.wnd, QPoint(strip.GetPane(PANE_PROGRESS).width + 5, 5));
        auto tipUp = [&tips] { return tips.GetTipWindow() && tips.GetTipWindow()->isVisible(); };
        QTest::mouseMove(&f.wnd, pt);
        QTest::qWait(10 * tips.m_nInitialMs);
        QVERIFY(!tipUp());
        f.Start(f.File("one", Pattern(5000)), f.File("two", Pattern(5000)));
        QVERIFY(f.WaitIdle());
        QTest::mouseMove(&f.wnd, pt + QPoint(1, 0));
        QTRY_VERIFY(tipUp());
        QCOMPARE(tips.GetTipWindow()->text(), f.dir.filePath("one"));
    }
};

QTEST_MAIN(TestMainWnd)
#include "tst_mainwnd.moc"
