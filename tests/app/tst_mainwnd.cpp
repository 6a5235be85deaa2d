// The main window: layout and keys, a close during a run, failing runs, fault cases, drops.
#include "engine/workerthread.h"
#include "tests/app/windowutil.h"
#include "tests/engine/faultcases.h"
#include "ui/selectfilesdlg.h"

#include <QCheckBox>

#include <climits>
#include <filesystem>

constexpr qint64 kLoad = 262144; // what the worker's reader takes in one read

// The first and last block state, then each kind once: the same whatever the block size.
static QByteArray Kinds(QByteArray states) {
    const QByteArray ends = QByteArray(1, states.front()) + states.back();
    std::sort(states.begin(), states.end());
    return ends + states.left(std::unique(states.begin(), states.end()) - states.begin());
}

class TestMainWnd : public QObject {
    Q_OBJECT
    CEmptyHome m_home; // nothing a window does may write there

private slots:
    void cleanupTestCase() { QCOMPARE(FolderState(m_home.m_home.path()), QStringList()); }

    void layoutAndKeys_data() {
        Columns<QSize, QSize>("asked", "client");
        QTest::newRow("below the minimum") << QSize(300, 200) << QSize(512, 400);
        QTest::newRow("above the screen") << QSize(2000, 900) << QSize(1024, 768);
    }
    void layoutAndKeys() {
        const auto [asked, client] = Fetch<QSize, QSize>("asked", "client");
        CWindowFixture f;
        const int s = f.wnd.GetStrip().GetPreferredSize().height();
        QCOMPARE(f.app.m_states.m_nCount, (1019 / 4) * ((768 - 18 - s - 8 - 1) / 4));
        QVERIFY(f.wnd.windowTitle() == CMainWnd::kTitle && !f.wnd.windowIcon().isNull());
        f.wnd.resize(asked);
        const int W = client.width(), H = client.height();
        QCOMPARE(f.wnd.GetMapView().geometry(), QRect(0, 0, W, H - s - 4));
        QCOMPARE(f.wnd.GetStrip().geometry(), QRect(0, H - s, W, s));
        QCOMPARE(f.wnd.childAt(W / 2, H - s - 2)->geometry(), QRect(0, H - s - 4, W, 4));
        QVERIFY(QTest::qWaitForWindowActive(&f.wnd) &&
                QApplication::focusWidget() == &f.wnd.GetMapView());
        QTest::keyClick(&f.wnd.GetMapView(), Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(f.wnd.m_nDialogs, 1);
        QTest::keyClick(&f.wnd.GetMapView(), Qt::Key_Escape); // with no run, Escape closes
        QTRY_VERIFY(!f.wnd.isVisible());
    }

    // A close asked for while the worker is held: by Escape or the close box; Yes, No or no answer.
    void closeDuringRun_data() {
        Columns<int, bool, QString>("loads", "escape", "answer");
        QTest::newRow("first block, Escape, Yes") << 0 << true << "Yes";
        QTest::newRow("middle block, Escape, No") << 2 << true << "No";
        QTest::newRow("last block, close box, Yes") << 3 << false << "Yes";
        QTest::newRow("last block, Escape, the run ends") << 3 << true << "end";
    }
    void closeDuringRun() {
        const auto [loads, escape, answer] = Fetch<int, bool, QString>("loads", "escape", "answer");
        CWindowFixture f(2 + 2 * loads); // a first run, then the loads of this one
        QVERIFY(f.RunsAgain());          // its "100%" must not stand for an abandoned run
        // Three loads and one block: the fourth load holds the last block alone.
        const std::string strOne = f.File("one", Pattern(3 * kLoad + 32)),
                          strTwo = f.File("two", Pattern(3 * kLoad + 32));
        f.Start(strOne, strTwo);
        const auto nHeld = int32_t(loads * kLoad / 32);
        QVERIFY(Await([&] { return f.Done() == nHeld; }));
        QTRY_VERIFY(f.Text(PANE_PROGRESS).isEmpty() == !loads && // not the first run's "100%"
                    f.wnd.windowTitle() == (loads ? f.Text(PANE_PROGRESS) : CMainWnd::kTitle));
        f.Start(f.File("three", "x"), f.File("four", "y")); // ignored during a run
        QCOMPARE(f.wnd.m_nDialogs, 2);
        const QStringList before = FolderState(f.dir.path());
        QStringList asked;
        QTimer watch; // answers each new question while it is up
        connect(&watch, &QTimer::timeout, [&, pLast = QPointer<QMessageBox>()]() mutable {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox || !pBox->isVisible() || std::exchange(pLast, pBox) == pBox)
                return;
            asked << pBox->windowTitle() + pBox->text() +
                         QString::number(int(pBox->standardButtons())) +
                         (pBox->parentWidget() == &f.wnd ? "" : " elsewhere");
            answer == "end" ? f.Release() : ClickButton(*pBox, answer);
        });
        watch.start(10);
        auto requestClose = [&](int nCloses) { // handled, the window up whatever the answer
            escape ? QTest::keyClick(&f.wnd, Qt::Key_Escape) : void(f.wnd.close());
            return QTest::qWaitFor([&] { return f.wnd.m_nCloses == nCloses && f.wnd.isVisible(); });
        };
        QVERIFY(requestClose(1));
        const bool bYes = answer == "Yes";
        QVERIFY(g_abortConfirm.m_bAbort.load() == bYes && // held still, whatever the answer
                (f.wnd.GetJob() != nullptr) == (answer != "end"));
        if (bYes) // a second request asks nothing
            QVERIFY(requestClose(2));
        f.Release();
        QVERIFY(f.WaitIdle() && f.finishes.m_nCount == 2 && !g_abortConfirm.m_bAbort.load());
        QCOMPARE(asked, QStringList("Ask confirm abortDo You want compare abort ?" +
                                    QString::number(int(QMessageBox::Yes | QMessageBox::No))));
        // Yes: the held block is finished, the next never begun; otherwise all are compared.
        const int32_t K = int32_t((3 * kLoad + 32) / 32), nEqualEnd = bYes ? nHeld + 1 : K;
        for (int32_t i = 0; i < K; ++i)
            QCOMPARE(f.app.m_states.Get(i), uint8_t(i < nEqualEnd ? BLOCK_EQUAL : BLOCK_PENDING));
        QCOMPARE(f.ShowsFinished(strOne, strTwo), !bYes);
        QVERIFY((!bYes || loads != 0 || f.Text(PANE_PROGRESS).startsWith("0.00% in ")) &&
                f.wnd.windowTitle() == CMainWnd::kTitle && f.wnd.isVisible());
        QCOMPARE(FolderState(f.dir.path()), before);
        QVERIFY(f.RunsAgain());
    }

    // An aligned run held at a read: Escape asks, Yes stops it where it was, No lets it end;
    // either way one finish, the window idle and able to run again.
    void alignedCloseDuringRun() {
        for (const char* pszAnswer : {"Yes", "No"}) {
            CWindowFixture f(4);
            f.app.m_cmdline.m_bAlign = true;
            const QByteArray bytes = Pattern(3 * kLoad);
            const std::string str1 = f.File("one", bytes),
                              str2 = f.File("two", QByteArray(bytes).insert(1000, 'x'));
            f.Start(str1, str2);
            QVERIFY(f.wnd.GetJob() && f.wnd.GetMapView().GetAlignment());
            AnswerNextModal([&](QWidget& box) { ClickButton(box, pszAnswer); });
            QTest::keyClick(&f.wnd, Qt::Key_Escape);
            QTRY_VERIFY(f.wnd.m_nCloses == 1 && !QApplication::activeModalWidget());
            f.Release();
            QVERIFY(f.WaitIdle() && f.finishes.m_nCount == 1 && f.wnd.isVisible());
            QCOMPARE(f.ShowsFinished(str1, str2), pszAnswer == QString("No"));
            f.app.m_cmdline.m_bAlign = false;
            QVERIFY(f.RunsAgain() && !f.wnd.GetMapView().GetAlignment());
        }
    }

    // Right after the first progress is shown, and before any timer can run, the worker makes
    // the progress of a second load and stops again: its notice falls into the window's pause.
    void progressMadeWhileThePauseRunsIsShown() {
        CWindowFixture f(2);
        QString strFirst;
        f.wnd.m_afterProgress = [&] {
            strFirst = f.Text(PANE_PROGRESS);
            f.Allow(2);
            for (int i = 0; i < 10000 && f.Done() < 2 * kLoad / 32; ++i)
                QThread::msleep(1);
        };
        f.Start(f.File("one", Pattern(3 * kLoad + 32)), f.File("two", Pattern(3 * kLoad + 32)));
        QTRY_VERIFY(!strFirst.isEmpty() && f.Text(PANE_PROGRESS) != strFirst);
        QVERIFY(f.wnd.GetJob() && f.wnd.windowTitle() == f.Text(PANE_PROGRESS));
    }

    // Failing runs, then a sound one. second: the name or path of the second file; fault: no
    // thread, or the worker cannot open the file of that name (+ Yes). Per pane: its error.
    void runsWithAnError_data() {
        QTest::addColumn<QStringList>("row"); // name, second, fault, progress, first, second
        using testutil::ErrorText;            // not the engine's, which gives a std::string
        const QString strDenied = " error: " + ErrorText(EACCES);
        for (const QStringList& row :
             {QStringList{"missing", "missing", "", "", "", ErrorText(ENOENT)},
              {"a FIFO", "fifo", "", "", "", ErrorText(ESPIPE)},
              {"a character device", "/dev/zero", "", "", "", ErrorText(ESPIPE)},
              {"no thread", "two", "thread", "Cannot start: " + ErrorText(EAGAIN), "", ""},
              {"worker denied the first", "two", "one", "", "Compare" + strDenied, ""},
              {"worker denied the second, Yes", "two", "two Yes", "", "", "Comapre" + strDenied}})
            QTest::newRow(qPrintable(row[0])) << row;
    }
    void runsWithAnError() {
        QFETCH(QStringList, row);
        const QString &second = row[1], &fault = row[2];
        CWindowFixture f(0); // the worker fails once the test is ready for it
        f.m_strRefused = fault.section(' ', 0, 0);
        const QString strTwo = second.startsWith('/') ? second : f.dir.filePath(second);
        if (second == "fifo")
            QCOMPARE(::mkfifo(qPrintable(strTwo), 0600), 0);
        else if (second == "two")
            f.File("two", "x");
        const QStringList names{"", f.File("one", "x").c_str(), strTwo}; // shown with no error
        SimulateThreadStartFailure(fault == "thread");
        f.Start(names[PANE_PRIMARY].toStdString(), strTwo.toStdString());
        SimulateThreadStartFailure(false);
        f.Release();
        if (fault.endsWith("Yes")) // before the finish is handled
            g_abortConfirm.m_bAbort.store(1);
        QVERIFY(f.WaitIdle() && f.wnd.windowTitle() == CMainWnd::kTitle);
        for (const int n : {PANE_PROGRESS, PANE_PRIMARY, PANE_SECONDARY}) {
            QCOMPARE(f.Text(n), row[3 + n].isEmpty() ? names[n] : row[3 + n]);
            QCOMPARE(f.Pane(n).color,
                     n == PANE_PROGRESS || row[3 + n].isEmpty() ? CLR_NAME : CLR_ERROR);
        }
        QCOMPARE(f.m_opened.contains(strTwo), second == "two"); // refused by name, unopened
        QVERIFY(f.RunsAgain());
    }

    // The engine's fault cases run by the window: one finish, the engine's states, a sound run.
    // Aligned, each cell holds the worst the plain comparison says of its blocks (cells by the
    // engine's worst kind: 2 equal, 3 different, 4 inserted or deleted, 5 unreadable).
    void faultDuringRun_data() {
        Columns<int, bool>("row", "aligned");
        for (int i = 0; i < int(std::size(faults::kCases)); ++i) {
            const faults::Case& c = faults::kCases[i];
            if (std::max(c.nLength1, c.nLength2) == faults::M)
                for (bool bAligned : {false, true})
                    QTest::addRow("%s%s", c.pszName, bAligned ? ", aligned" : "") << i << bAligned;
        }
    }
    void faultDuringRun() {
        const auto [row, aligned] = Fetch<int, bool>("row", "aligned");
        const faults::Case& c = faults::kCases[row];
        CWindowFixture f;
        faults::CFaultRun fault(c, f.dir);
        if (fault.pszSkip)
            QSKIP(fault.pszSkip);
        f.app.m_cmdline.m_bAlign = aligned;
        f.Start(fault.strFirst, fault.strSecond);
        QVERIFY(f.WaitIdle() && fault.nActed == 0 && f.finishes.m_nCount == 1 &&
                f.ShowsFinished(fault.strFirst, fault.strSecond));
        QByteArray states;
        const QImage map = f.wnd.GetMapView().grab().toImage();
        const CCellGeometry& geometry = f.wnd.GetMapView().GetGeometry();
        for (int64_t i = 0; i * f.BlockSize() < faults::M && !aligned; ++i)
            states += char('0' + f.app.m_states.Get(int32_t(i)));
        for (uint32_t i = 0; i < geometry.CellCount() && aligned; ++i) {
            int32_t x = 0, y = 0;
            CCellGeometry::CellOrigin(int32_t(i), geometry.m_nPitch, map.width(), x, y);
            const QRgb rgb = map.pixel(x, y) & 0xFFFFFF;
            states += rgb == 0x8080FF   ? '2'
                      : rgb == 0xFF8080 ? '3'
                      : rgb == 0xFFB040 ? '4'
                      : rgb == 0        ? '5'
                                        : '?';
        }
        QCOMPARE(Kinds(states), Kinds(faults::Runs(c.pszStates)));
        QVERIFY(f.RunsAgain());
    }

    // The box to follow insertions and deletions: unchecked at first, kept
    // for the next dialog whether it is confirmed or cancelled, and the run as it says;
    // --align on the command line checks it.
    void alignBoxRemembered() {
        CWindowFixture f;
        f.wnd.m_bScripted = false;
        const std::string str1 = f.File("one", Pattern(5000)),
                          str2 = f.File("two", "x" + Pattern(5000));
        QStringList seen;
        const auto Answer = [&](bool bToggle, const char* pszButton) {
            AnswerNextModal([&, bToggle, pszButton](QWidget& dialog) {
                auto* pBox = dialog.findChild<QCheckBox*>("120");
                seen << pBox->text() + (pBox->isChecked() ? " on" : " off");
                if (bToggle)
                    pBox->click();
                dialog.findChild<QAbstractButton*>(pszButton)->click();
            });
            f.Start(str1, str2);
            return f.WaitIdle();
        };
        QVERIFY(Answer(true, "1") && f.wnd.GetMapView().GetAlignment());
        QVERIFY(Answer(true, "2") && Answer(false, "1") && f.wnd.GetMapView().GetAlignment());
        QVERIFY(Answer(true, "1") && !f.wnd.GetMapView().GetAlignment());
        QVERIFY(f.Text(PANE_DIFFS).toInt() > 1); // the plain count again: every cell differs
        f.app.m_cmdline.Parse({"--align", str1, str2});
        QVERIFY(Answer(false, "1") && f.wnd.GetMapView().GetAlignment() &&
                f.ShowsFinished(str1, str2));
        f.wnd.GetMapView().repaint();
        QCOMPARE(f.Text(PANE_DIFFS), "1"); // one segment inserted
        const QString strBox = "Follow &insertions and deletions";
        QCOMPARE(seen, (QStringList{strBox + " off", strBox + " on", strBox + " on", strBox + " on",
                                    strBox + " on"}));
    }

    // Dropped files pre-fill the dialog, whatever their names; a confirmed run opens them. The
    // rest is refused, as is a drop during a run. "@name": a file in the folder; entries: shown.
    void drop_data() {
        Columns<QByteArrayList, QByteArrayList, bool>("urls", "entries", "running");
        // PATH_MAX - 1 bytes, "@" standing for a folder named like the fixture's and its "/".
        const qsizetype nMax = PATH_MAX - 1 - QTemporaryDir().path().toUtf8().size();
        QByteArray strLong = "@";
        while (nMax - strLong.size() > NAME_MAX)
            strLong += QByteArray(250, char('a' + strLong.size() / 251)) + '/';
        strLong += QByteArray(nMax - strLong.size() - 4, 'f') + ".bin";
        QTest::newRow("one file") << QByteArrayList{"@1"} << QByteArrayList{"@1", "@old2"} << false;
        QTest::newRow("localhost") << QByteArrayList{"file://localhost/etc/hostname"}
                                   << QByteArrayList{"/etc/hostname", "@old2"} << false;
        const QByteArrayList names{"@-a && \xff\xfe\x80 \xc3\n<b>\t.bin", strLong};
        QTest::newRow("compared: hard names") << names << names << false;
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
            return (entry[0] == '@' ? f.dir.path().toUtf8() + '/' + entry.mid(1) : entry)
                .toStdString();
        };
        f.Start(f.File("old1", "x"), f.File("old2", "y"));
        QVERIFY(running ? f.wnd.GetJob() != nullptr : f.WaitIdle());
        QList<QUrl> list;
        const auto removeAll = // the folder's own clean-up cannot name them all
            qScopeGuard([&] { std::filesystem::remove_all(f.dir.path().toStdString()); });
        QByteArray bytes = Pattern(20000);
        for (const QByteArray& url : urls) {
            const QByteArray strPath = QByteArray::fromStdString(path(url));
            if (url[0] == '@') {
                QVERIFY(QDir().mkpath(QFileInfo(strPath).path()));
                QCOMPARE(::rename(f.File("tmp", bytes).c_str(), strPath.constData()), 0);
                bytes[12345] = char(bytes[12345] ^ 1);
            }
            list << QUrl::fromEncoded(url[0] == '@' ? "file://" + strPath.toPercentEncoding("/")
                                                    : url);
        }
        QMimeData data;
        list.empty() ? data.setText("not a file") : data.setUrls(list);
        QDragEnterEvent enter({9, 9}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&f.wnd, &enter);
        QDropEvent drop({9, 9}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        drop.ignore();
        f.wnd.m_bScripted = false;
        std::vector<std::string> shown;
        const bool bCompare = urls.size() == 2;
        if (!entries.empty())
            AnswerNextModal([&](QWidget& dialog) {
                if (auto* pDialog = qobject_cast<CSelectFilesDlg*>(&dialog))
                    shown = {pDialog->GetPrimaryPath(), pDialog->GetSecondaryPath()};
                auto* pOk = dialog.findChild<QAbstractButton*>("1");
                dialog.findChild<QAbstractButton*>(bCompare && pOk->isEnabled() ? "1" : "2")
                    ->click();
            });
        QCoreApplication::sendEvent(&f.wnd, &drop);
        QVERIFY(enter.isAccepted() == !entries.empty() && drop.isAccepted() == !entries.empty());
        f.Release();
        QTest::qWait(100);
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.wnd.m_nDialogs, entries.empty() ? 1 : 2);
        if (entries.empty())
            return;
        QCOMPARE(shown, (std::vector{path(entries[0]), path(entries[1])}));
        const auto names = bCompare ? shown : std::vector{path("@old1"), path("@old2")};
        QVERIFY(f.ShowsFinished(names[0], names[1]));
        if (!bCompare)
            return;
        QVERIFY(f.wnd.GetStrip().GetPaneTip(PANE_PRIMARY) == shown[0] &&
                f.app.m_history1.GetEntries().front() == shown[0]);
        const auto i = int32_t(12345 / f.BlockSize());
        QVERIFY(f.app.m_states.Get(i) == BLOCK_DIFFERENT &&
                f.app.m_states.Get(i + 1) == BLOCK_EQUAL);
        f.wnd.GetMapView().repaint(); // the count is the paint's
        QCOMPARE(f.Text(PANE_DIFFS), "1");
    }
};

QTEST_MAIN(TestMainWnd)
#include "tst_mainwnd.moc"
