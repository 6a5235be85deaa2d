// The map's keys in the main window: the context menu's items, the detail a key shows and
// copies, and stepping during a run.
#include "tests/app/windowutil.h"
#include "view/cellnav.h"

#include <QClipboard>
#include <QMenu>

#include <thread>

// Lets nFree reads of the worker through, then holds them; the window's own reads (the cell
// detail texts) always pass.
class CWorkerGate : public CGatedFileSystem {
public:
    using CGatedFileSystem::CGatedFileSystem;
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        if (std::this_thread::get_id() == m_main)
            return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
        return CGatedFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    std::thread::id m_main = std::this_thread::get_id();
};

// A shown, active 800 x 600 main window whose worker may read nFree times.
struct KeysFixture {
    explicit KeysFixture(int nFree = 1 << 30) : gate(nFree), installed(&gate) {
        wnd.resize(800, 600);
        wnd.show();
        bActive = QTest::qWaitForWindowActive(&wnd);
    }
    ~KeysFixture() { gate.Release(); } // the window waits for a job it still has

    CWorkerGate gate;
    CInstalledFileSystem installed;
    QTemporaryDir dir;
    CTestScreen screen;
    CAppState app;
    CScriptedWnd wnd{app, screen};
    bool bActive = false;
};

class TestMapKeys : public QObject {
    Q_OBJECT

private slots:
    // The window's menu, item by item: text, key, and whether it can act now.
    void menuItems_data() {
        Columns<bool, bool, QStringList>("comparison", "selected", "items");
        const QString strFiles = "Select &Files Ctrl+O", strNext = "Next Difference Alt+Down",
                      strPrev = "Previous Difference Alt+Up", strCopy = "Copy Ctrl+C";
        const QString off = " (disabled)";
        QTest::newRow("no comparison")
            << false << false
            << QStringList{strFiles, "-", strNext + off, strPrev + off, strCopy + off};
        QTest::newRow("comparison")
            << true << false << QStringList{strFiles, "-", strNext, strPrev, strCopy + off};
        QTest::newRow("a cell selected")
            << true << true << QStringList{strFiles, "-", strNext, strPrev, strCopy};
    }
    void menuItems() {
        const auto [comparison, selected, items] =
            Fetch<bool, bool, QStringList>("comparison", "selected", "items");
        KeysFixture f;
        QVERIFY(f.bActive);
        CMapView& map = f.wnd.GetMapView();
        if (comparison)
            map.SetTotalLength(5000);
        map.repaint();
        if (selected)
            QTest::keyClick(&map, Qt::Key_Home);
        QStringList shown;
        QTimer::singleShot(50, [&shown] {
            if (auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* pItem : pMenu->actions())
                    shown << (pItem->isSeparator()
                                  ? QString("-")
                                  : pItem->text() + " " + pItem->shortcut().toString() +
                                        (pItem->isEnabled() ? "" : " (disabled)"));
                pMenu->close();
            }
        });
        const QPoint pt(100, 100);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pt, map.mapToGlobal(pt));
        QApplication::sendEvent(&map, &event);
        QCOMPARE(shown, items);
    }
    // The last cell in each state: a step back from no selection reaches it when it is not
    // equal, and Enter and Copy give the tooltip's text of it, a range or a dump.
    void detailOfEachStateShownAndCopied_data() {
        Columns<int, bool>("state", "dump");
        QTest::newRow("pending") << int(BLOCK_PENDING) << false;
        QTest::newRow("equal") << int(BLOCK_EQUAL) << false;
        QTest::newRow("different") << int(BLOCK_DIFFERENT) << true;
        QTest::newRow("length differs") << int(BLOCK_LENGTH_DIFFERS) << true;
        QTest::newRow("read error") << int(BLOCK_READ_ERROR) << true;
    }
    void detailOfEachStateShownAndCopied() {
        const auto [state, dump] = Fetch<int, bool>("state", "dump");
        KeysFixture f;
        QVERIFY(f.app.m_file1.Open(WriteFile(f.dir, "one", Pattern(5000))) &&
                f.app.m_file2.Open(WriteFile(f.dir, "two", Pattern(4990, 1))));
        CMapView& map = f.wnd.GetMapView();
        map.SetTotalLength(5000);
        map.repaint();
        const auto K = int32_t(map.GetGeometry().CellCount());
        const auto R = int32_t(f.app.m_states.m_nPerCell);
        for (int32_t j = (K - 1) * R; j < K * R && j < f.app.m_states.m_nCount; ++j)
            f.app.m_states.Set(j, uint8_t(state));
        QLabel* pTip = f.wnd.GetToolTips().GetTipWindow();
        const QString strDetail = AskCellTip(map, K - 1);
        QCOMPARE(strDetail.contains("=====\n"), dump);

        QTest::keyClick(&map, Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(map.GetGeometry().m_nSelected, dump ? K - 1 : -1);
        QCOMPARE(pTip->text(), dump ? strDetail : QString(kNoEarlierDifference));
        QVERIFY(pTip->isVisible());
        QTest::keyClick(&map, Qt::Key_End);
        QVERIFY(!pTip->isVisible());
        QTest::keyClick(&map, Qt::Key_Return);
        QVERIFY(pTip->isVisible());
        QCOMPARE(pTip->text(), strDetail);
        QApplication::clipboard()->clear();
        QTest::keyClick(&map, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), strDetail);
    }
    // Differences at byte 100 and at 12 MiB; the run held after its first loads.
    void stepsOverTheCellsComparedSoFar() {
        KeysFixture f(2);
        const uint64_t L = uint64_t(16) << 20, nLate = uint64_t(12) << 20;
        f.app.m_cmdline.m_strPath1 = WriteSparse(f.dir, "one.bin", L, nLate, "y");
        f.app.m_cmdline.m_strPath2 = WriteSparse(f.dir, "two.bin", L, 100, "x");
        QVERIFY(f.app.m_file1.Open(f.app.m_cmdline.m_strPath1) &&
                f.app.m_file2.Open(f.app.m_cmdline.m_strPath2));
        CMapView& map = f.wnd.GetMapView();
        map.SetTotalLength(L);
        map.repaint();
        std::string strError;
        QVERIFY(f.wnd.StartJob(strError));
        const auto C = map.GetGeometry().m_nCellSize;
        QTRY_COMPARE(f.app.m_states.GroupMax(int32_t(100 / C)), uint8_t(BLOCK_DIFFERENT));
        QVERIFY(f.wnd.GetJob()); // held after the first loads
        QLabel* pTip = f.wnd.GetToolTips().GetTipWindow();
        QTest::keyClick(&map, Qt::Key_F8);
        QCOMPARE(map.GetGeometry().m_nSelected, int32_t(100 / C));
        QCOMPARE(pTip->text(), AskCellTip(map, int32_t(100 / C)));
        QVERIFY(pTip->text().contains("[78]"));
        QTest::keyClick(&map, Qt::Key_F8); // the later difference is not compared yet
        QCOMPARE(map.GetGeometry().m_nSelected, int32_t(100 / C));
        QCOMPARE(pTip->text(), QString(kNoFurtherDifference));
        f.gate.Release();
        QVERIFY(QTest::qWaitFor([&f] { return !f.wnd.GetJob(); }, 60000));
        QTest::keyClick(&map, Qt::Key_F8);
        QCOMPARE(map.GetGeometry().m_nSelected, int32_t(nLate / C));
        QVERIFY(pTip->text().contains("[79]"));
    }
};

QTEST_MAIN(TestMapKeys)
#include "tst_mapkeys.moc"
