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

    // An aligned run in the window, 1 MB of random bytes edited as testutil's Edit says. Alt+Down
    // stops at every cell holding file-1 bytes from a to b for each pair a, b of stops, and Alt+Up
    // at the same going back: the edits, and where a new shift begins, not the shifted cells after
    // it. Enter on the last cell shows tip. The deletions end on a multiple of 4096, so that their
    // new shift begins a cell.
    void alignedStops_data() {
        Columns<QByteArray, QList<qint64>, QString>("edits", "stops", "tip");
        QTest::newRow("1 byte inserted")
            << QByteArray("i 300000 1") << QList<qint64>{300000, 300000} << "file 2 at +1:";
        QTest::newRow("deleted, and the new shift after it")
            << QByteArray("d 300000 3104") << QList<qint64>{300000, 303104} << "at -3104:";
        QTest::newRow("changed in place")
            << QByteArray("r 500000 3") << QList<qint64>{500000, 500002} << "";
        QTest::newRow("inserted, then deleted: back at shift 0")
            << QByteArray("i 200000 5; d 704512 5") << QList<qint64>{200000, 200000, 704507, 704512}
            << "equal ";
    }
    void alignedStops() {
        const auto [edits, stops, tip] =
            Fetch<QByteArray, QList<qint64>, QString>("edits", "stops", "tip");
        const QByteArray one = Random(1000000, 8), two = Edit(one, edits, 9);
        CWindowFixture f;
        f.app.m_cmdline.m_bAlign = true;
        f.Start(f.File("one", one), f.File("two", two));
        QVERIFY(f.WaitIdle() && f.ShowsFinished(f.Text(PANE_PRIMARY).toStdString(),
                                                f.Text(PANE_SECONDARY).toStdString()));
        CMapView& map = f.wnd.GetMapView();
        const qint64 C = map.GetGeometry().m_nCellSize;
        QVERIFY(C <= 4096);
        QList<qint64> cells;
        for (qsizetype k = 0; k + 1 < stops.size(); k += 2)
            for (qint64 i = stops[k] / C; i <= stops[k + 1] / C; ++i)
                if (cells.isEmpty() || cells.back() < i)
                    cells << i;
        QList<qint64> forward{-1}, back{cells.back()}; // where each pass starts
        for (QList<qint64>* pSeen : {&forward, &back}) {
            for (int k = 0; k < 200; ++k) {
                QTest::keySequence(&map, QKeySequence(pSeen == &forward ? "Alt+Down" : "Alt+Up"));
                if (map.GetGeometry().m_nSelected == pSeen->back())
                    break;
                *pSeen << map.GetGeometry().m_nSelected;
            }
            pSeen->removeFirst();
        }
        QCOMPARE(forward, cells);
        std::reverse(back.begin(), back.end());
        QCOMPARE(back, cells.mid(0, cells.size() - 1));
        QLabel* pTip = f.wnd.GetToolTips().GetTipWindow();
        QTest::keyClick(&map, Qt::Key_End);
        QTest::keyClick(&map, Qt::Key_Return);
        QVERIFY2(pTip->isVisible() && pTip->text().contains(tip), qPrintable(pTip->text()));
        ToolHitQuery query; // below the last row: the colours explained
        std::tie(query.x, query.y) = std::pair(2, map.height() - 2);
        CToolHitEvent event(query);
        QCoreApplication::sendEvent(&map, &event);
        QVERIFY(query.uId >= 0 && query.strText == kAlignLegend);
    }
};

QTEST_MAIN(TestMapKeys)
#include "tst_mapkeys.moc"
