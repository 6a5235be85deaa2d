// The map's keys in the main window: the context menu, and the detail a key shows and copies.
#include "tests/app/windowutil.h"
#include "view/cellnav.h"

#include <QClipboard>
#include <QMenu>

// The window's context menu, item by item: text, key, and "-" where it cannot act now.
static QString MenuItems(CMapView& map) {
    QString strItems;
    QTimer::singleShot(0, [&strItems] {
        if (auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* pItem : pMenu->actions())
                strItems += pItem->isSeparator()
                                ? QString("|")
                                : pItem->text() + ' ' + pItem->shortcut().toString() +
                                      (pItem->isEnabled() ? ";" : "-;");
            pMenu->close();
        }
    });
    const QPoint pt(100, 100);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pt, map.mapToGlobal(pt));
    QApplication::sendEvent(&map, &event);
    map.activateWindow(); // the keys act in the active window only
    return QTest::qWaitForWindowActive(map.window()) ? strItems : "inactive";
}

class TestMapKeys : public QObject {
    Q_OBJECT

private slots:
    // The last cell in each state: a step back reaches it when it differs, Enter and Copy give
    // its tooltip. The menu acts once there is a comparison, and copies once a cell is selected.
    void detailOfEachStateShownAndCopied_data() {
        Columns<int, bool>("state", "dump");
        QTest::newRow("equal") << int(BLOCK_EQUAL) << false;
        QTest::newRow("different") << int(BLOCK_DIFFERENT) << true;
        QTest::newRow("length differs") << int(BLOCK_LENGTH_DIFFERS) << true;
        QTest::newRow("read error") << int(BLOCK_READ_ERROR) << true;
    }
    void detailOfEachStateShownAndCopied() {
        const auto [state, dump] = Fetch<int, bool>("state", "dump");
        CWindowFixture f;
        QVERIFY(f.app.m_file1.Open(f.File("one", Pattern(5000))) &&
                f.app.m_file2.Open(f.File("two", Pattern(4990, 1))));
        CMapView& map = f.wnd.GetMapView();
        const QString strMenu = "Select &Files Ctrl+O;|Next Difference Alt+Down%1;"
                                "Previous Difference Alt+Up%1;Copy Ctrl+C%2;";
        QCOMPARE(MenuItems(map), strMenu.arg("-", "-"));
        map.SetTotalLength(5000);
        map.repaint();
        QCOMPARE(MenuItems(map), strMenu.arg("", "-"));
        const auto K = int32_t(map.GetGeometry().CellCount()),
                   R = int32_t(f.app.m_states.m_nPerCell);
        for (int32_t j = (K - 1) * R; j < K * R && j < f.app.m_states.m_nCount; ++j)
            f.app.m_states.Set(j, uint8_t(state));
        QLabel* pTip = f.wnd.GetToolTips().GetTipWindow();
        const QString strDetail = AskCellTip(map, K - 1);
        QCOMPARE(strDetail.contains("=====\n"), dump);

        QTest::keyClick(&map, Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(map.GetGeometry().m_nSelected, dump ? K - 1 : -1);
        QCOMPARE(pTip->text(), dump ? strDetail : QString(kNoEarlierDifference));
        QTest::keyClick(&map, Qt::Key_Home);
        QCOMPARE(MenuItems(map), strMenu.arg("", ""));
        QTest::keyClick(&map, Qt::Key_End);
        QVERIFY(!pTip->isVisible());
        QTest::keyClick(&map, Qt::Key_Return);
        QVERIFY(pTip->isVisible() && pTip->text() == strDetail);
        QTest::keyClick(&map, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), strDetail);
    }
};

QTEST_MAIN(TestMapKeys)
#include "tst_mapkeys.moc"
