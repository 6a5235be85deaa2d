#include "app/messages.h"
#include "tests/testutil.h"
#include "ui/tooltiprouter.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace testutil;

// A child that answers the tooltip query: one tool per 100 pixels across, its text telling
// where it was asked (so that a kept text can be told from a new one) unless one is given.
struct CAnswering : QWidget {
    CAnswering(QWidget* pParent, const char* pszName, const QRect& rc, QString strText = {})
        : QWidget(pParent), m_strText(std::move(strText)) {
        setObjectName(pszName);
        setGeometry(rc);
    }
    bool event(QEvent* pEvent) override {
        if (pEvent->type() != UWM_TOOLHITTEST)
            return QWidget::event(pEvent);
        ToolHitQuery& query = static_cast<CToolHitEvent*>(pEvent)->m_query;
        query.uId = query.x / 100;
        query.strText =
            (m_strText.isNull() ? QString("%1%2 x=%3").arg(objectName()).arg(query.uId).arg(query.x)
                                : m_strText)
                .toStdString();
        return true;
    }
    QString m_strText;
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
    CToolTipRouter* m_pRouter = nullptr;

    QLabel* Tip() const { return m_pRouter->GetTipWindow(); }
    bool TipUp() const { return Tip() && Tip()->isVisible(); }
    void Move(int x, int y) { QTest::mouseMove(m_pOwner, QPoint(x, y)); }
    // True when no tip shows up for long enough that any tip that was coming would have.
    bool NoTipAppears() {
        QElapsedTimer timer;
        for (timer.start(); timer.elapsed() < 5 * m_pRouter->m_nInitialMs; QTest::qWait(10))
            if (TipUp())
                return false;
        return !TipUp();
    }

private slots:
    void init() {
        m_pOwner = new QWidget;
        m_pOwner->resize(400, 300);
        m_pA = new CAnswering(m_pOwner, "A", QRect(10, 10, 200, 100));
        new CAnswering(m_pA, "G", QRect(120, 60, 60, 30));
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
        Move(399, 299); // a move to where the last test left the mouse would be no move at all
    }
    void cleanup() {
        delete m_pRouter;
        delete m_pOwner;
    }

    // After a rest on L: below the mouse, in 8-point fixed-pitch plain text, unwrapped, one
    // line as long as the first with ink to its end, and a second one.
    void tipAppearsAfterRestInPlainFixedText() {
        m_pRouter->m_nInitialMs = 400;
        Move(20, 230);
        QVERIFY(!TipUp());
        QTRY_VERIFY(TipUp());
        QCOMPARE(Tip()->text(), kLiteral);
        QCOMPARE(Tip()->textFormat(), Qt::PlainText);
        QVERIFY(!Tip()->wordWrap());
        QVERIFY(Tip()->geometry().top() > m_pOwner->mapToGlobal(QPoint(20, 230)).y());
        const QFontMetrics fm(Tip()->font(), Tip());
        QCOMPARE(fm.horizontalAdvance("iiii"), fm.horizontalAdvance("WWWW"));
        QCOMPARE(Tip()->font().pointSize(), 8);
        const int nFirst = fm.horizontalAdvance(kLiteral.section('\n', 0, 0));
        QVERIFY(Tip()->width() >= nFirst);
        QVERIFY(Tip()->height() >= 2 * fm.height() && Tip()->height() < 3 * fm.height());
        const QImage image = Tip()->grab().toImage();
        const QColor clrBack = image.pixelColor(image.width() / 2, image.height() / 2 + 2);
        bool bInkAtTheEnd = false;
        for (int y = 0; y < image.height() / 2; ++y)
            for (int x = nFirst - fm.horizontalAdvance("ww"); x < image.width() - 3; ++x)
                bInkAtTheEnd |= image.pixelColor(x, y) != clrBack;
        QVERIFY(bInkAtTheEnd);
    }

    void sameToolKeepsItsTipAnotherReplacesIt() {
        Move(20, 20);
        QTRY_VERIFY(TipUp());
        const QRect rcTip = Tip()->geometry();
        Move(80, 30); // same tool: the tip stays where it is and keeps its text
        QTest::qWait(5 * m_pRouter->m_nInitialMs);
        QVERIFY(TipUp());
        QCOMPARE(Tip()->text(), "A0 x=10");
        QCOMPARE(Tip()->geometry(), rcTip);
        const struct {
            QPoint pt;
            const char* pszText;
        } next[] = {{{130, 30}, "A1 x=120"}, {{140, 75}, "G0 x=10"}, {{260, 20}, "B0 x=10"}};
        for (const auto& tool : next) { // another id, the same id in another window, another
            Move(tool.pt.x(), tool.pt.y());
            QTRY_COMPARE(Tip()->text(), tool.pszText);
            QTRY_VERIFY(TipUp());
        }
    }

    // Moves while tips are off leave no trace: once they are on again, the tip is the one of
    // where the mouse rests then. Turning them off puts a tip that is up away.
    void noTipsWhileOff() {
        m_pRouter->EnableToolTips(false);
        Move(20, 20);
        Move(22, 20);
        QVERIFY(NoTipAppears());
        m_pRouter->EnableToolTips(true);
        Move(24, 20);
        QTRY_VERIFY(TipUp());
        QCOMPARE(Tip()->text(), "A0 x=14");
        m_pRouter->EnableToolTips(false);
        QVERIFY(!TipUp());
        Move(130, 20);
        QVERIFY(NoTipAppears());
    }

    // A tip is up on A, then the mouse moves where nothing answers.
    void noTipWhereNothingAnswers_data() {
        QTest::addColumn<QPoint>("point");
        QTest::newRow("plain child") << QPoint(20, 160);
        QTest::newRow("empty text") << QPoint(260, 160);
    }
    void noTipWhereNothingAnswers() {
        QFETCH(QPoint, point);
        Move(20, 20);
        QTRY_VERIFY(TipUp());
        Move(point.x(), point.y());
        QVERIFY(!TipUp());
        QVERIFY(NoTipAppears());
    }

    void tipGoesAfterItsTimeAndStaysGoneOnTheSameTool() {
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

    void clickPutsTheTipAway() {
        Move(20, 20);
        QTRY_VERIFY(TipUp());
        QTest::mouseClick(m_pA, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(!TipUp());
        Move(21, 20); // a new rest brings it back
        QTRY_VERIFY(TipUp());
    }
};

QTEST_MAIN(TestToolTipRouter)
#include "tst_tooltiprouter.moc"
