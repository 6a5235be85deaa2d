#include "tests/testutil.h"
#include "ui/pathhistory.h"
#include "ui/selectfilesdlg.h"
#include "ui/separatorbar.h"
#include "ui/statusstrip.h"
#include "ui/tooltiprouter.h"
#include "view/events.h"
#include "view/textdraw.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <fstream>

using namespace testutil;

namespace {
// Chrome colours that no text drawn on the face can produce.
const QColor kFace(0xC0, 0xC0, 0xC0), kShadow(0x80, 0x00, 0x80), kLight(0x00, 0xFF, 0xFF);

template <typename T = QComboBox> T* Child(QWidget& dlg, int nId) {
    return dlg.findChild<T*>(QString::number(nId));
}
const auto Info = [](QWidget& dlg, int nId) { return Child<QLineEdit>(dlg, nId)->text(); };
const auto OkOn = [](QWidget& dlg) { return Child<QPushButton>(dlg, 1)->isEnabled(); };
const auto Shown = [](QWidget& dlg) { return dlg.show(), QTest::qWaitForWindowActive(&dlg); };

struct CAnswering : QWidget { // one tool per 100 pixels
    CAnswering(QWidget* pParent, const QString& strName, QRect rc) : QWidget(pParent) {
        setObjectName(strName), setGeometry(rc);
    }
    bool event(QEvent* pEvent) override {
        if (pEvent->type() != UWM_TOOLHITTEST)
            return QWidget::event(pEvent);
        ToolHitQuery& q = static_cast<CToolHitEvent*>(pEvent)->m_query;
        q.uId = q.x / 100;
        q.strText =
            objectName().toStdString() +
            (objectName().size() == 1 ? std::to_string(q.uId) + " x=" + std::to_string(q.x) : "");
        return true;
    }
};
} // namespace

class TestWidgets : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::string Path(const QString& strName) const { return m_dir.filePath(strName).toStdString(); }

private slots:
    void initTestCase() {
        for (const char* pszName : {"a", "b", "case", "CASE", ""})
            WriteFile(m_dir, *pszName ? pszName : "empty", pszName);
    }

    // Sunken panes, text cut 3 pixels in, tips and clicks edge to edge; name panes ask for files.
    void statusStripAndSeparator() {
        QWidget w;
        QPalette pal(kFace);
        pal.setColor(QPalette::Dark, kShadow), pal.setColor(QPalette::Light, kLight);
        w.setPalette(pal);
        auto* pStrip = new CStatusStrip(&w);
        for (const QRect rc : {QRect(0, 0, 300, 4), QRect(400, 0, 4, 40)}) // separators
            (new CSeparatorBar(&w))->setGeometry(rc);
        const int h = pStrip->GetPreferredSize().height();
        w.resize(900, 40 + h), pStrip->setGeometry(0, 40, 900, h), w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(pStrip->GetStripFont().pointSize(), 10);
        pStrip->SetPaneText(PANE_PROGRESS, QString(40, QChar(0x2588)).toStdString()); // solid
        const QImage image = pStrip->grab().toImage();
        pStrip->SetPaneTip(PANE_PRIMARY, "/d/" + std::string(597, 'p'));
        pStrip->SetCellSize(0), pStrip->SetDiffsCount(0);
        CToolTipRouter router;
        router.CreateToolTip(&w, false);
        CEventCounter posts(ID_SELECT_FILES);
        w.installEventFilter(&posts);
        const char* pszTips[] = {"", "", "", "Cell size", "Cell diffs count", ""};
        for (int i = 0, l = 0; i <= PANE_COUNT; l += pStrip->GetPane(i++).width) {
            const int nId = i < PANE_COUNT ? i : -1,
                      r = nId < 0 ? 899 : l + pStrip->GetPane(i).width - 1;
            for (int x = l; x <= r; ++x)
                for (int y = 0; y < h && (nId != PANE_PROGRESS || x < l + 3 || x > r - 3); ++y)
                    QCOMPARE(image.pixelColor(x, y), x == l || x == r || nId < 0 ? kFace
                                                     : x == r - 1 || y == h - 1  ? kLight
                                                     : x == l + 1 || y == 0      ? kShadow
                                                                                 : kFace);
            QVERIFY(nId != PANE_PROGRESS || image.pixelColor(r - 3, h / 2) != kFace);
            ToolHitQuery q;
            QVERIFY(pStrip->HitTest(l, 0) == nId && pStrip->HitTest(r, 0) == nId);
            QCOMPARE(router.RouteHitTest((l + r) / 2, 40 + h / 2, q), nId);
            QCOMPARE(q.strText, i == PANE_PRIMARY ? "/d/" + std::string(508, 'p') : pszTips[i]);
            for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
                QTest::mouseDClick(pStrip, button, Qt::ShiftModifier, {l + 2, 2});
                QTest::mouseRelease(pStrip, button, Qt::ShiftModifier, {l + 2, 2});
            }
            QCoreApplication::processEvents();
            QCOMPARE(posts.m_nCount, std::min(i, 2));
            if (nId < 0)
                break;
        }
        QVERIFY(pStrip->GetPane(PANE_DIFFS).text.empty()); // no count without a name
        pStrip->SetPaneText(PANE_PRIMARY, "a"), pStrip->SetDiffsCount(4294967295u);
        QVERIFY(pStrip->GetPane(PANE_DIFFS).text == "4294967295");
        const QImage bars = w.grab().toImage(); // highlight first and shadow last, across each
        for (int i = 0; i < 4; ++i)
            QCOMPARE((QList{bars.pixelColor(150, i), bars.pixelColor(400 + i, 20)}),
                     QList<QColor>(2, QList{kLight, kFace, kFace, kShadow}[i]));
    }

    // A tip comes after a rest, again on another tool, and a click hides it.
    void toolTips() {
        QWidget owner;
        owner.resize(400, 300);
        auto* pA = new CAnswering(&owner, "A", QRect(10, 10, 200, 100)); // tools 0 and 1
        new CAnswering(pA, "G", QRect(120, 60, 60, 30));
        new CAnswering(&owner, "B", QRect(250, 10, 100, 100));
        const QString strLiteral = "<b>x</b>\ta&b " + QString(80, 'w') + "\nline";
        new CAnswering(&owner, strLiteral, QRect(10, 220, 100, 40));
        CToolTipRouter router;
        router.m_nInitialMs = 400, router.m_nReshowMs = 20;
        router.CreateToolTip(&owner, true);
        QVERIFY(Shown(owner));
        QLabel* pTip = router.GetTipWindow();
        auto move = [&](int x, int y) { QTest::mouseMove(&owner, QPoint(x, y)); };
        move(399, 299); // where the mouse already is would be no move
        move(20, 230);
        QVERIFY(!pTip->isVisible());
        QTRY_VERIFY(pTip->isVisible() && pTip->text() == strLiteral && // the system's fixed font
                    pTip->textFormat() == Qt::PlainText && pTip->font() == SystemFixedFont(8));
        for (QFontMetricsF fm(pTip->font(), pTip); QChar c : QString("0123456789ABCDEF:`-[]= "))
            QCOMPARE(fm.horizontalAdvance(c), fm.horizontalAdvance('0')); // a dump's columns align
        router.m_nInitialMs = 100;
        for (auto [x, y, pszText] : {std::tuple{20, 20, "A0 x=10"},
                                     {130, 30, "A1 x=120"},
                                     {150, 35, "A1 x=120"},
                                     {140, 75, "G0 x=10"},
                                     {260, 20, "B0 x=10"}}) {
            move(x, y);
            QTRY_VERIFY(pTip->isVisible() && pTip->text() == pszText);
        }
        QTest::mouseClick(pA, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(!pTip->isVisible());
        const int yEnd = owner.screen()->geometry().bottom(); // 3 below a rectangle, or 2 above
        router.m_nAutoPopMs = 200;
        for (const QRect rc : {QRect(50, 50, 20, 10), QRect(50, yEnd - 5, 20, 10)}) {
            move(rc.y() < 100 ? 150 : 260, 20); // a rest begins, which a key's tip ends
            router.ShowTipAt(pA, 0, "at", rc);
            QTRY_VERIFY(!pTip->isVisible()); // after its time
            QCOMPARE(pTip->pos(), rc.y() < 100 ? rc.bottomLeft() + QPoint(0, 3)
                                               : rc.topLeft() - QPoint(0, 2 + pTip->height()));
        }
        move(20, 20); // a rest on the tool whose tip went after its time shows it no more
        QVERIFY(!QTest::qWaitFor([&] { return pTip->isVisible(); }, 150));
    }

    // Typing is checked after a pause, a list choice at once; Enter keeps the typed case. The
    // box to follow insertions has its key.
    void selectFilesTyping() {
        CPathHistory first, second;
        first.AddRecent(Path("case")), second.AddRecent(Path("a")), second.AddRecent(Path("empty"));
        CSelectFilesDlg dlg(nullptr, first, second, Path("a"), Path("b"));
        QVERIFY(Shown(dlg) && Child(dlg, 111)->hasFocus() && OkOn(dlg));
        QTest::keyClick(Child(dlg, 111), Qt::Key_End), QTest::keyClick(Child(dlg, 111), Qt::Key_X);
        QTest::keyClick(Child<QLineEdit>(dlg, 113), Qt::Key_X); // a verdict takes no typing
        QVERIFY(!OkOn(dlg) && Info(dlg, 113).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(Info(dlg, 113), QString("File not found"), 5000);
        emit Child(dlg, 116)->activated(0); // a choice from the list
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::AltModifier); // selects all
        QVERIFY(Info(dlg, 118) == "File length is zero" &&
                !Child(dlg, 116)->lineEdit()->hasSelectedText());
        QTest::keyClicks(Child(dlg, 111), m_dir.filePath("CASE"));
        emit Child(dlg, 116)->activated(1);
        QVERIFY(Info(dlg, 118).isEmpty() && Info(dlg, 113) == "File not found" && !OkOn(dlg));
        QTRY_VERIFY_WITH_TIMEOUT(Info(dlg, 113).isEmpty() && OkOn(dlg), 5000);
        auto* pAlign = Child<QCheckBox>(dlg, 120); // unchecked unless set, Alt+I toggles it
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_I, Qt::AltModifier);
        QTRY_VERIFY(pAlign->isChecked());
        dlg.SetAlign(false);
        QTest::keyClick(Child(dlg, 111), Qt::Key_Return);
        QVERIFY(dlg.result() == QDialog::Accepted && dlg.GetPrimaryPath() == Path("CASE") &&
                !dlg.GetAlign());
    }
    // Down picks the newest listed name, checked at once; Enter or Tab after typing one waits.
    void selectFilesListKeys() {
        for (auto [bTyped, key] :
             {std::pair{false, Qt::Key_Down}, {true, Qt::Key_Return}, {true, Qt::Key_Tab}}) {
            CPathHistory first, second;
            first.AddRecent(Path("empty")), first.AddRecent(Path("a"));
            CSelectFilesDlg dlg(nullptr, first, second, "", Path("b"));
            QVERIFY(Shown(dlg) && Info(dlg, 113) == "No file");
            if (bTyped)
                QTest::keyClicks(Child(dlg, 111), m_dir.filePath("a"));
            QTest::keyClick(Child(dlg, 111), key);
            QVERIFY(Child(dlg, 111)->currentText() == m_dir.filePath("a") && OkOn(dlg) == !bTyped);
            QTRY_VERIFY_WITH_TIMEOUT(OkOn(dlg), 5000);
        }
    }
    // The caller's texts replace the newest listed paths; Cancel adds nothing to the history.
    void selectFilesConfirm() {
        const std::string strOdd = m_dir.path().toStdString() + "/caf\xE9 & \xFF\xC3";
        QVERIFY(std::ofstream(strOdd) << "x");
        CPathHistory first, second;
        first.AddRecent(Path("a")), first.AddRecent("/old"), second.AddRecent("/old/s");
        for (int nButton : {2, 1}) {
            CSelectFilesDlg dlg(nullptr, first, second, strOdd, Path(nButton == 1 ? "b" : "gone"));
            QVERIFY(Shown(dlg) && dlg.windowTitle() == "Select files" && Info(dlg, 113).isEmpty() &&
                    Info(dlg, 118) == (nButton == 1 ? "" : "File not found") &&
                    OkOn(dlg) == (nButton == 1));
            QTest::mouseClick(Child<QPushButton>(dlg, nButton), Qt::LeftButton);
            QVERIFY(!dlg.isVisible() && dlg.result() == 2 - nButton);
        }
        QCOMPARE(first.GetEntries(), (std::vector<std::string>{strOdd, "/old", Path("a")}));
        QCOMPARE(second.GetEntries(), (std::vector<std::string>{Path("b"), "/old/s"}));
        std::filesystem::remove(strOdd); // the toolkit cannot remove a name that is not UTF-8
    }
    // Browse starts in the typed name's folder, takes any names for both entries, stores nothing.
    void browse() {
        QString strSeen; // the folder it starts in, and whether Open takes a missing name
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto* pFiles = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!pFiles || !pFiles->isActiveWindow())
                return;
            auto* pName = pFiles->findChild<QLineEdit*>("fileNameEdit");
            auto* pOpen = pFiles->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
            pName->setFocus(); // the toolkit rewrites the field only while it has none
            pName->setText("gone");
            strSeen = pFiles->directory().path() + (pOpen->isEnabled() ? " open" : "");
            pName->setText("\"b\" \"gone\"");
            pOpen->isEnabled() ? QTest::mouseClick(pOpen, Qt::LeftButton) : pFiles->reject();
        });
        poll.start(50);
        CPathHistory history;
        CSelectFilesDlg dlg(nullptr, history, history, "", "");
        QTest::keyClicks(Child(dlg, 111), m_dir.filePath("a"));
        Child<QPushButton>(dlg, 112)->click();
        QCOMPARE((QStringList{strSeen, Child(dlg, 111)->currentText(), Info(dlg, 118)}),
                 (QStringList{m_dir.path() + " open", m_dir.filePath("b"), "File not found"}));
        QVERIFY(!QSettings("QtProject").isWritable()); // where the toolkit's dialog keeps history
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
