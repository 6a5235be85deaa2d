#include "app/messages.h"
#include "ui/tooltiprouter.h"

#include <QElapsedTimer>
#include <QtTest>

// A child that answers the tooltip query: one tool per 100 pixels across, with a text that
// tells where it was asked, so that a tip that kept its text can be told from a new one.
class CAnswering : public QWidget {
public:
    CAnswering(QWidget* pParent, const QString& strName, const QRect& rc, QString strText = {})
        : QWidget(pParent), m_strText(std::move(strText)) {
        setObjectName(strName);
        setGeometry(rc);
    }
    QString m_strText; // when set, the one text of every tool here
    QPoint m_ptAsked{-1, -1};

protected:
    bool event(QEvent* pEvent) override {
        if (pEvent->type() != UWM_TOOLHITTEST)
            return QWidget::event(pEvent);
        ToolHitQuery& query = static_cast<CToolHitEvent*>(pEvent)->m_query;
        m_ptAsked = QPoint(query.x, query.y);
        query.uId = query.x / 100;
        const QString strText =
            m_strText.isNull() ? QString("%1%2 x=%3").arg(objectName()).arg(query.uId).arg(query.x)
                               : m_strText;
        query.strText = strText.toStdString();
        return true;
    }
};

static const QString kLiteral = "<b>x</b>\ta&b " + QString(80, 'w') + "\nsecond line";

// Owner 400 x 300, in its coordinates:
//   A (10,10)-(210,110), tools 0 and 1 across; G inside A at (130,70)-(190,100)
//   B (250,10)-(350,110); plain child P (10,150)-(210,190), which does not answer
//   E (250,150)-(350,190) answering with an empty text; L (10,220)-(110,260), a literal text
class TestToolTipRouter : public QObject {
    Q_OBJECT
    QWidget* m_pOwner = nullptr;
    CAnswering* m_pA = nullptr;
    CAnswering* m_pG = nullptr;
    CToolTipRouter* m_pRouter = nullptr;

    QLabel* Tip() const { return m_pRouter->GetTipWindow(); }
    bool TipUp() const { return Tip() && Tip()->isVisible(); }
    void Move(int x, int y) { QTest::mouseMove(m_pOwner, QPoint(x, y)); }
    // True when no tip shows up for long enough that any tip that was coming would have.
    bool NoTipAppears() {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 5 * m_pRouter->m_nInitialMs) {
            if (TipUp())
                return false;
            QTest::qWait(10);
        }
        return !TipUp();
    }

private slots:
    void init();
    void cleanup();
    void routesToTheDeepestChild_data();
    void routesToTheDeepestChild();
    void noTipsWhileDisabled();
    void tipAppearsAfterRestInPlainFixedText();
    void sameToolKeepsItsTipAnotherReplacesIt();
    void noTipWhereNothingAnswers_data();
    void noTipWhereNothingAnswers();
    void tipGoesAfterItsTimeAndStaysGoneOnTheSameTool();
    void clickPutsTheTipAway();
    void literalTextBrokenOnlyAtLineFeeds();
};

void TestToolTipRouter::init() {
    m_pOwner = new QWidget;
    m_pOwner->resize(400, 300);
    m_pA = new CAnswering(m_pOwner, "A", QRect(10, 10, 200, 100));
    m_pG = new CAnswering(m_pA, "G", QRect(120, 60, 60, 30));
    new CAnswering(m_pOwner, "B", QRect(250, 10, 100, 100));
    (new QWidget(m_pOwner))->setGeometry(10, 150, 200, 40);
    new CAnswering(m_pOwner, "E", QRect(250, 150, 100, 40), "");
    new CAnswering(m_pOwner, "L", QRect(10, 220, 100, 40), kLiteral);
    m_pRouter = new CToolTipRouter;
    m_pRouter->m_nInitialMs = 100;
    m_pRouter->m_nReshowMs = 20;
    m_pRouter->CreateToolTip(m_pOwner, true);
    m_pOwner->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pOwner));
    // A move to where the last test left the mouse would be no move at all.
    Move(399, 299);
}

void TestToolTipRouter::cleanup() {
    delete m_pRouter;
    delete m_pOwner;
}

void TestToolTipRouter::routesToTheDeepestChild_data() {
    QTest::addColumn<QPoint>("point"); // in the owner
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("id");
    QTest::addColumn<QPoint>("asked"); // as the answering window saw it
    QTest::newRow("child, first tool") << QPoint(20, 20) << "A" << 0 << QPoint(10, 10);
    QTest::newRow("child, second tool") << QPoint(130, 20) << "A" << 1 << QPoint(120, 10);
    QTest::newRow("grandchild") << QPoint(140, 75) << "G" << 0 << QPoint(10, 5);
    QTest::newRow("another child") << QPoint(349, 109) << "B" << 0 << QPoint(99, 99);
    QTest::newRow("plain child") << QPoint(20, 160) << "" << -1 << QPoint();
    QTest::newRow("owner's background") << QPoint(220, 50) << "owner" << -1 << QPoint();
    QTest::newRow("outside the owner") << QPoint(-5, 400) << "owner" << -1 << QPoint();
}

void TestToolTipRouter::routesToTheDeepestChild() {
    QFETCH(QPoint, point);
    QFETCH(QString, window);
    QFETCH(int, id);
    QFETCH(QPoint, asked);
    m_pOwner->setObjectName("owner");
    ToolHitQuery query;
    QCOMPARE(m_pRouter->RouteHitTest(point.x(), point.y(), query), id);
    QCOMPARE(query.uId, id);
    QVERIFY(query.pWindow);
    QCOMPARE(query.pWindow->objectName(), window);
    if (id >= 0) {
        QCOMPARE(static_cast<CAnswering*>(query.pWindow)->m_ptAsked, asked);
        QCOMPARE(QString::fromStdString(query.strText),
                 QString("%1%2 x=%3").arg(window).arg(id).arg(asked.x()));
    }
}

void TestToolTipRouter::noTipsWhileDisabled() {
    m_pRouter->EnableToolTips(false);
    Move(20, 20);
    Move(22, 20);
    QVERIFY(NoTipAppears());
    m_pRouter->EnableToolTips(true);
    Move(24, 20);
    QTRY_VERIFY(TipUp());
    QCOMPARE(Tip()->text(), "A0 x=14");
    m_pRouter->EnableToolTips(false); // puts a tip that is up away
    QVERIFY(!TipUp());
    Move(130, 20);
    QVERIFY(NoTipAppears());
}

void TestToolTipRouter::tipAppearsAfterRestInPlainFixedText() {
    m_pRouter->m_nInitialMs = 400;
    Move(20, 20);
    QVERIFY(!TipUp());
    QTRY_VERIFY(TipUp());
    QCOMPARE(Tip()->text(), "A0 x=10");
    QCOMPARE(Tip()->textFormat(), Qt::PlainText);
    QVERIFY(!Tip()->wordWrap());
    const QFontMetrics fmTip(Tip()->font(), Tip()); // fixed pitch: i as wide as W
    QCOMPARE(fmTip.horizontalAdvance("iiii"), fmTip.horizontalAdvance("WWWW"));
    QCOMPARE(Tip()->font().pointSize(), 8);
    // Below the mouse, where it does not hide what the mouse points at.
    const QPoint ptMouse = m_pOwner->mapToGlobal(QPoint(20, 20));
    QVERIFY(Tip()->geometry().top() > ptMouse.y());
}

void TestToolTipRouter::sameToolKeepsItsTipAnotherReplacesIt() {
    Move(20, 20);
    QTRY_VERIFY(TipUp());
    QCOMPARE(Tip()->text(), "A0 x=10");
    const QRect rcTip = Tip()->geometry();
    Move(80, 30); // same tool: the tip stays where it is and keeps its text
    QTest::qWait(5 * m_pRouter->m_nInitialMs);
    QVERIFY(TipUp());
    QCOMPARE(Tip()->text(), "A0 x=10");
    QCOMPARE(Tip()->geometry(), rcTip);
    Move(130, 30); // next tool of the same window
    QTRY_COMPARE(Tip()->text(), "A1 x=120");
    QTRY_VERIFY(TipUp());
    Move(140, 75); // same id, another window
    QTRY_COMPARE(Tip()->text(), "G0 x=10");
    QTRY_VERIFY(TipUp());
    Move(260, 20);
    QTRY_COMPARE(Tip()->text(), "B0 x=10");
    QTRY_VERIFY(TipUp());
}

void TestToolTipRouter::noTipWhereNothingAnswers_data() {
    QTest::addColumn<QPoint>("point");
    QTest::newRow("plain child") << QPoint(20, 160);
    QTest::newRow("owner's background") << QPoint(220, 50);
    QTest::newRow("empty text") << QPoint(260, 160);
}

void TestToolTipRouter::noTipWhereNothingAnswers() {
    QFETCH(QPoint, point);
    Move(20, 20);
    QTRY_VERIFY(TipUp());
    Move(point.x(), point.y());
    QVERIFY(!TipUp());
    QVERIFY(NoTipAppears());
}

void TestToolTipRouter::tipGoesAfterItsTimeAndStaysGoneOnTheSameTool() {
    m_pRouter->m_nAutoPopMs = 300;
    Move(20, 20);
    QTRY_VERIFY(TipUp());
    QTRY_VERIFY(!TipUp());
    Move(30, 20);
    QVERIFY(NoTipAppears());
    Move(130, 20);
    QTRY_VERIFY(TipUp());
    QCOMPARE(Tip()->text(), "A1 x=120");
}

void TestToolTipRouter::clickPutsTheTipAway() {
    Move(20, 20);
    QTRY_VERIFY(TipUp());
    QTest::mouseClick(m_pA, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!TipUp());
    Move(21, 20); // a new rest brings it back
    QTRY_VERIFY(TipUp());
}

void TestToolTipRouter::literalTextBrokenOnlyAtLineFeeds() {
    Move(20, 230);
    QTRY_VERIFY(TipUp());
    QCOMPARE(Tip()->text(), kLiteral);
    QCOMPARE(Tip()->textFormat(), Qt::PlainText);
    // One line as long as the first, unwrapped, and a second one: no more.
    const QFontMetrics fm(Tip()->font(), Tip());
    const QString strFirst = kLiteral.section('\n', 0, 0);
    QVERIFY(Tip()->width() >= fm.horizontalAdvance(strFirst));
    QVERIFY(Tip()->height() >= 2 * fm.height());
    QVERIFY(Tip()->height() < 3 * fm.height());
    // The tip's own image holds ink across the whole first line.
    const QImage image = Tip()->grab().toImage();
    const QColor clrBack = image.pixelColor(image.width() / 2, image.height() / 2 + 2);
    bool bInkAtTheEnd = false;
    for (int y = 0; y < image.height() / 2; ++y)
        for (int x = fm.horizontalAdvance(strFirst) - fm.horizontalAdvance("ww");
             x < image.width() - 3; ++x)
            bInkAtTheEnd |= image.pixelColor(x, y) != clrBack;
    QVERIFY(bInkAtTheEnd);
}

QTEST_MAIN(TestToolTipRouter)
#include "tst_tooltiprouter.moc"
