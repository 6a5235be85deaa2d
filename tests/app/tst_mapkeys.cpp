// The map's keys in the main window: the context menu's items, the detail a key shows and
// copies, and stepping during a run.
#include "tests/app/windowutil.h"
#include "view/cellnav.h"

#include <QClipboard>
#include <QMenu>

#include <thread>

// Lets nFree reads of the worker through, then holds them; the window's own reads (the cell
// detail texts) always pass.
struct CWorkerGate : CGatedFileSystem {
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

// The window's context menu, item by item: text, key, and "-" where it cannot act now.
static QString MenuItems(CMapView& map) {
    QString strItems;
    QTimer::singleShot(0, [&strItems] {
        if (auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* pItem : pMenu->actions())
                strItems += pItem->isSeparator()
                                ? QString("|")
                                : QString("%1 %2%3;")
                                      .arg(pItem->text(), pItem->shortcut().toString(),
                                           pItem->isEnabled() ? "" : "-");
            pMenu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(100, 100),
                            map.mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(&map, &event);
    map.activateWindow(); // the keys act in the active window only
    return QTest::qWaitForWindowActive(map.window()) ? strItems : "inactive";
}

class TestMapKeys : public QObject {
    Q_OBJECT

private slots:
    // The last cell in each state: a step back from no selection reaches it when it is not
    // equal, and Enter and Copy give the tooltip's text of it, a range or a dump. The menu
    // acts once there is a comparison, and copies once a cell is selected.
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
        QVERIFY(f.bActive);
        QVERIFY(f.app.m_file1.Open(WriteFile(f.dir, "one", Pattern(5000))) &&
                f.app.m_file2.Open(WriteFile(f.dir, "two", Pattern(4990, 1))));
        CMapView& map = f.wnd.GetMapView();
        const QString strMenu = "Select &Files Ctrl+O;|Next Difference Alt+Down%1;Previous "
                                "Difference Alt+Up%1;Copy Ctrl+C%2;";
        QCOMPARE(MenuItems(map), strMenu.arg("-", "-"));
        map.SetTotalLength(5000);
        map.repaint();
        QCOMPARE(MenuItems(map), strMenu.arg("", "-"));
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
        QTest::keyClick(&map, Qt::Key_Home);
        QCOMPARE(MenuItems(map), strMenu.arg("", ""));
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
