// The window as a real X server shows it. Every check reads the pixels back from the server
// (QScreen::grabWindow), never from a paint made anew: a paint that never reached the screen
// is exactly what must be caught. The reference is the widget's own full paint (grab()).
#include "app/abortconfirm.h"
#include "tests/app/windowutil.h"
#include "tests/app/xvfb.h"
#include "view/mapcolors.h"
#include "view/textdraw.h"

#include <QGuiApplication>
#include <QScreen>

#include <thread>

namespace {

constexpr int kRuns = 20;              // of each case
constexpr qint64 kSmall = 3 << 20;     // finished inside the first progress step
constexpr qint64 kLarge = 256LL << 20; // thousands of steps; differs in its last block

enum ECase { Finish, AbortYes, AskNo, FinishWhileAsked };

// Holds every read for a while, so that a run lasts long enough to be interrupted, with the
// worker posting its notices in bursts while the question is up.
class CSlowFileSystem : public CFileSystem {
public:
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        if (const int nUs = m_nDelayUs.load())
            std::this_thread::sleep_for(std::chrono::microseconds(nUs));
        return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    std::atomic<int> m_nDelayUs{0};
};

QImage ScreenImage(QWidget& widget) {
    return widget.screen()
        ->grabWindow(widget.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QImage FullPaint(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels in which two pictures of the same size differ; all of them for different sizes.
qsizetype Differing(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return qsizetype(std::max(a.width() * a.height(), b.width() * b.height()));
    qsizetype n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

// Waits until the server shows what a full paint of the widget draws, but for nSlack pixels;
// false after nMs. The reference is taken once, after the window had a moment to settle, so
// that rendering it cannot stand in for a paint the screen is missing.
bool ScreenShowsFullPaint(QWidget& widget, const QString& strWhat, qsizetype nSlack = 0,
                          int nMs = 1500) {
    QTest::qWait(50);
    const QImage expected = FullPaint(widget);
    QImage shown;
    const bool bShown = Await(
        [&] {
            shown = ScreenImage(widget);
            return shown == expected || Differing(shown, expected) <= nSlack;
        },
        nMs);
    if (!bShown) {
        expected.save(QDir::temp().filePath(strWhat + "-expected.png"));
        shown.save(QDir::temp().filePath(strWhat + "-screen.png"));
    }
    return bShown;
}

bool HasColor(const QImage& image, const QRect& area, COLORREF clr) {
    const QRgb rgb = QColor(ColorFromRef(clr)).rgb();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == rgb)
                return true;
    return false;
}

} // namespace

class TestScreen : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    CEmptyHome m_home;
    std::string m_strSmall1, m_strSmall2, m_strLarge1, m_strLarge2;

private slots:
    void initTestCase() {
        QVERIFY2(QGuiApplication::platformName() == "xcb", "needs a real X server");
        // A few differing bytes and a length difference; the large pair differs in its last byte.
        QByteArray small = Pattern(kSmall);
        m_strSmall1 = WriteFile(m_dir, "small1", small);
        small[1000] = ~small[1000];
        small[kSmall / 2] = ~small[kSmall / 2];
        m_strSmall2 = WriteFile(m_dir, "small2", small + QByteArray(70000, 'x'));
        QByteArray large = Pattern(kLarge);
        m_strLarge1 = WriteFile(m_dir, "large1", large);
        large[kLarge - 1] = ~large[kLarge - 1];
        m_strLarge2 = WriteFile(m_dir, "large2", large);
    }

    void runs_data() {
        Columns<int, bool>("nCase", "bLarge");
        QTest::newRow("small pair finished") << int(Finish) << false;
        QTest::newRow("large pair finished") << int(Finish) << true;
        QTest::newRow("aborted") << int(AbortYes) << false;
        QTest::newRow("question answered No") << int(AskNo) << false;
        QTest::newRow("finished while asked") << int(FinishWhileAsked) << false;
    }
    void runs() {
        const auto [nCase, bLarge] = Fetch<int, bool>("nCase", "bLarge");
        CAppState app;
        CScriptedWnd wnd(app, SystemScreenMetrics());
        wnd.m_strPath1 = bLarge ? m_strLarge1 : m_strSmall1;
        wnd.m_strPath2 = bLarge ? m_strLarge2 : m_strSmall2;
        // Away from the pointer, so that no tooltip lies over what is read back.
        wnd.setGeometry(0, 0, 760, 520);
        wnd.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wnd));
        CSlowFileSystem slow;
        CInstalledFileSystem installed(&slow);
        const QRect map = wnd.GetMapView().geometry();

        for (int nRun = 0; nRun < kRuns; ++nRun) {
            const QString strRun = QString("%1-run%2").arg(QTest::currentDataTag()).arg(nRun);
            slow.m_nDelayUs = nCase == Finish ? 0 : 20000; // about half a second a run
            PostSelectFiles(&wnd);
            QVERIFY(Await([&] { return wnd.GetJob() != nullptr; }, 10000));
            bool bAsked = nCase == Finish;
            if (nCase != Finish) {
                QTest::qWait(80); // some progress shown first
                // The question runs its own event loop: it is looked at and answered from it.
                AnswerNextModal([&](QWidget& box) {
                    // A button's icon may show the focus differently from the reference:
                    // a box not painted differs in nearly all of its pixels.
                    bAsked = ScreenShowsFullPaint(box, strRun + "-question",
                                                  box.width() * box.height() / 50);
                    if (nCase != FinishWhileAsked)
                        ClickButton(box, nCase == AbortYes ? "Yes" : "No");
                    slow.m_nDelayUs = 0;
                });
                QTest::keyClick(&wnd, Qt::Key_Escape);
            }
            QVERIFY(Await([&] { return wnd.GetJob() == nullptr; }, 60000));
            QVERIFY2(bAsked, qPrintable(strRun + ": the question is not on the screen"));
            QCOMPARE(wnd.windowTitle(), QString::fromLatin1(CMainWnd::kTitle));
            QVERIFY(Await([] { return !QApplication::activeModalWidget(); }, 5000));
            QVERIFY2(ScreenShowsFullPaint(wnd, strRun),
                     qPrintable(strRun + ": the screen is not the window's full paint"));
            const QImage screen = ScreenImage(wnd);
            if (nCase != AbortYes) {
                QVERIFY2(!HasColor(screen, map, StateColor(BLOCK_PENDING)),
                         qPrintable(strRun + ": a pending square after the finish"));
                QVERIFY2(HasColor(screen, map, StateColor(BLOCK_DIFFERENT)),
                         qPrintable(strRun + ": no red square"));
                QCOMPARE(HasColor(screen, map, StateColor(BLOCK_LENGTH_DIFFERS)), !bLarge);
                QVERIFY(wnd.GetStrip().GetPane(PANE_PROGRESS).text.rfind("100% in ", 0) == 0);
            }
        }
    }
    // Compare, press Alt+Down: the server shows the selection's green frame around the first
    // red square, at byte 1000 of the small pair.
    void altDownFramesTheFirstRedCell() {
        CAppState app;
        CScriptedWnd wnd(app, SystemScreenMetrics());
        wnd.m_strPath1 = m_strSmall1;
        wnd.m_strPath2 = m_strSmall2;
        wnd.setGeometry(0, 0, 760, 520);
        wnd.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wnd));
        PostSelectFiles(&wnd);
        QVERIFY(Await([&] { return wnd.GetJob() != nullptr; }, 10000));
        QVERIFY(Await([&] { return wnd.GetJob() == nullptr; }, 60000));
        QVERIFY(QTest::qWaitForWindowActive(&wnd));
        CMapView& map = wnd.GetMapView();
        QTest::keyClick(&map, Qt::Key_Down, Qt::AltModifier);
        const CCellGeometry& g = map.GetGeometry();
        const auto i = int32_t(1000 / g.m_nCellSize);
        QVERIFY(i > 0); // the selection really moved to it
        QCOMPARE(g.m_nSelected, i);
        const int P = g.m_nPitch;
        int32_t x = 0, y = 0;
        CCellGeometry::CellOrigin(i, P, map.width(), x, y);
        const QPoint at = map.mapTo(&wnd, QPoint(x, y));
        const QRgb green = QColor(ColorFromRef(CLR_SELECTION)).rgb();
        const QRgb red = QColor(ColorFromRef(StateColor(BLOCK_DIFFERENT))).rgb();
        QImage screen;
        const bool bFramed = Await(
            [&] {
                screen = ScreenImage(wnd);
                for (int k = 0; k < P; ++k)
                    for (const QPoint pt :
                         {QPoint(k, 0), QPoint(0, k), QPoint(k, P - 1), QPoint(P - 1, k)})
                        if (screen.pixel(at + pt) != green)
                            return false;
                return screen.pixel(at + QPoint(P / 2, P / 2)) == red;
            },
            1500);
        if (!bFramed)
            screen.save(QDir::temp().filePath("altdown-screen.png"));
        QVERIFY2(bFramed, "no green frame around the red square on the screen");
    }
};

int main(int argc, char** argv) {
    CXvfb xserver;
    if (!xserver.Start())
        return 1;
    QApplication app(argc, argv);
    TestScreen test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_screen.moc"
