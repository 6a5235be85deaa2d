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
    // The last (first) cell in each state: a step back (on) reaches it when it differs, Enter and
    // Copy give its tip, a move away hides it; the menu acts with a comparison, copies with a cell.
    void detailOfEachStateShownAndCopied_data() {
        Columns<int, bool, bool>("state", "dump", "first");
        QTest::newRow("equal") << int(BLOCK_EQUAL) << false << false;
        QTest::newRow("different") << int(BLOCK_DIFFERENT) << true << false;
        QTest::newRow("length differs") << int(BLOCK_LENGTH_DIFFERS) << true << false;
        QTest::newRow("read error, first cell") << int(BLOCK_READ_ERROR) << true << true;
    }
    void detailOfEachStateShownAndCopied() {
        const auto [state, dump, first] = Fetch<int, bool, bool>("state", "dump", "first");
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
                   R = int32_t(f.app.m_states.m_nPerCell), c = first ? 0 : K - 1;
        for (int32_t j = c * R; j < (c + 1) * R && j < f.app.m_states.m_nCount; ++j)
            f.app.m_states.Set(j, uint8_t(state));
        QLabel* pTip = f.wnd.GetToolTips().GetTipWindow();
        ToolHitQuery query; // a hover on cell c
        CCellGeometry::CellOrigin(c, map.GetGeometry().m_nPitch, map.width(), query.x, query.y);
        CToolHitEvent event(query);
        QCoreApplication::sendEvent(&map, &event);
        QCOMPARE(query.uId, c);
        const QString strDetail = QString::fromStdString(query.strText);
        QCOMPARE(strDetail.contains("=====\n"), dump);

        QTest::keySequence(&map, first ? QKeySequence(Qt::Key_F8) : QKeySequence("Alt+Up"));
        QCOMPARE(map.GetGeometry().m_nSelected, dump ? c : -1);
        QVERIFY(pTip->isVisible() &&
                pTip->text() == (dump ? strDetail : QString(kNoEarlierDifference)));
        QTest::keyClick(&map, first ? Qt::Key_End : Qt::Key_Home);
        QVERIFY(!pTip->isVisible());
        QCOMPARE(MenuItems(map), strMenu.arg("", ""));
        QTest::keyClick(&map, first ? Qt::Key_Home : Qt::Key_End);
        QTest::keyClick(&map, Qt::Key_Return);
        QVERIFY(pTip->isVisible() && pTip->text() == strDetail);
        if (QGuiApplication::platformName() != "offscreen")
            QSKIP("Copy would overwrite the clipboard of a display that may be the user's");
        QTest::keyClick(&map, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), strDetail);
    }
};

QTEST_MAIN(TestMapKeys)
#include "tst_mapkeys.moc"
