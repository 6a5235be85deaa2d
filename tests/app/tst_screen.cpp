// The window as a real X server shows it. Every check reads the pixels back from the server
// (QScreen::grabWindow), never from a paint made anew: a paint that never reached the screen
// is exactly what must be caught. The reference is the widget's own full paint (grab()).
#include "tests/app/windowutil.h"
#include "view/mapcolors.h"
#include "view/textdraw.h"

#include <QScreen>

#include <csignal>
#include <numeric>
#include <sys/wait.h>
#include <thread>

namespace {

enum ECase { Finish, AbortYes, AskNo, FinishWhileAsked };

// Starts a private Xvfb on the first free display, which it names itself, so that test
// programs run side by side never meet, and points the toolkit at it; its id, or -1.
pid_t StartXvfb() {
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(fds[1]).c_str(), "-screen", "0",
                 "1280x1024x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    char szDisplay[16] = {}; // written once the server accepts connections
    const bool bStarted = pid > 0 && ::read(fds[0], szDisplay, sizeof szDisplay - 1) > 0;
    ::close(fds[0]);
    qputenv("DISPLAY", ":" + QByteArray(szDisplay).trimmed());
    qputenv("QT_QPA_PLATFORM", "xcb");
    return bStarted ? pid : -1;
}

// Holds every read for a while, so that a run lasts long enough to be interrupted, with the
// worker posting its notices in bursts while the question is up.
struct CSlowFileSystem : CFileSystem {
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        std::this_thread::sleep_for(std::chrono::microseconds(m_nDelayUs.load()));
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

// Pixels in which two RGB32 pictures of one size (rows without padding) differ.
qsizetype Differing(const QImage& a, const QImage& b) {
    const auto* p = reinterpret_cast<const QRgb*>(a.constBits());
    return std::transform_reduce(p, p + a.width() * a.height(),
                                 reinterpret_cast<const QRgb*>(b.constBits()), qsizetype(0),
                                 std::plus<>(), std::not_equal_to<>());
}

// Waits until the server shows what a full paint of the widget draws, but for nSlack pixels;
// false after 1.5 s. The reference is taken once, after the window had a moment to settle, so
// that rendering it cannot stand in for a paint the screen is missing.
bool ScreenShowsFullPaint(QWidget& widget, qsizetype nSlack = 0) {
    QTest::qWait(50);
    const QImage expected = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    return Await(
        [&] {
            const QImage shown = ScreenImage(widget);
            return shown.size() == expected.size() && Differing(shown, expected) <= nSlack;
        },
        1500);
}

} // namespace

class TestScreen : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    CEmptyHome m_home;

private slots:
    // A 3 MiB pair, finished inside the first progress step, with a few differing bytes and a
    // length difference; a 256 MiB pair, thousands of steps, differing in its last byte.
    // Runs: enough to make a stale screen all but certain to show, by how often each case
    // showed it before the window repainted whole at the finish (7, 18, 20, 10, 10 in 20).
    void runs_data() {
        Columns<int, bool, int>("nCase", "bLarge", "nRuns");
        QTest::newRow("small pair finished") << int(Finish) << false << 7;
        QTest::newRow("large pair finished") << int(Finish) << true << 3;
        QTest::newRow("aborted") << int(AbortYes) << false << 2;
        QTest::newRow("question answered No") << int(AskNo) << false << 5;
        QTest::newRow("finished while asked") << int(FinishWhileAsked) << false << 5;
    }
    void runs() {
        const auto [nCase, bLarge, nRuns] = Fetch<int, bool, int>("nCase", "bLarge", "nRuns");
        QByteArray bytes = Pattern(1 << 20).repeated(bLarge ? 256 : 3);
        const qint64 L = bytes.size();
        CAppState app;
        CScriptedWnd wnd(app, SystemScreenMetrics());
        wnd.m_strPath1 = WriteFile(m_dir, "one", bytes);
        for (const qint64 i : bLarge ? QList<qint64>{L - 1} : QList<qint64>{1000, L / 2})
            bytes[i] = ~bytes[i];
        wnd.m_strPath2 = WriteFile(m_dir, "two", bLarge ? bytes : bytes + QByteArray(70000, 'x'));
        // Away from the pointer, so that no tooltip lies over what is read back.
        wnd.setGeometry(0, 0, 760, 520);
        wnd.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wnd));
        CSlowFileSystem slow;
        CInstalledFileSystem installed(&slow);
        CMapView& map = wnd.GetMapView();

        for (int nRun = 0; nRun < nRuns; ++nRun) {
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
                    bAsked = ScreenShowsFullPaint(box, box.width() * box.height() / 50);
                    if (nCase != FinishWhileAsked)
                        ClickButton(box, nCase == AbortYes ? "Yes" : "No");
                    slow.m_nDelayUs = 0;
                });
                QTest::keyClick(&wnd, Qt::Key_Escape);
            }
            QVERIFY(Await([&] { return wnd.GetJob() == nullptr; }, 60000));
            QVERIFY2(bAsked, "the question is not on the screen");
            QVERIFY(Await([] { return !QApplication::activeModalWidget(); }, 5000));
            QVERIFY2(ScreenShowsFullPaint(wnd), "the screen is not the window's full paint");
            // All compared: no pending (white) square, red ones, yellow where one is longer.
            const QImage screen = ScreenImage(wnd).copy(map.geometry());
            const auto shows = [&](uint8_t state) {
                QImage plain(screen.size(), QImage::Format_RGB32);
                plain.fill(ColorFromRef(StateColor(state)));
                return Differing(screen, plain) < screen.width() * screen.height();
            };
            QVERIFY(nCase == AbortYes || (!shows(BLOCK_PENDING) && shows(BLOCK_DIFFERENT) &&
                                          shows(BLOCK_LENGTH_DIFFERS) == !bLarge));
        }
        // The selection's frame is the map's own paint: the window's repaint does not reach it.
        QTest::qWait(250); // past the whole repaint once the run has settled
        QTest::keyClick(&map, Qt::Key_Home);
        QCOMPARE(map.GetGeometry().m_nSelected, 0);
        QVERIFY2(ScreenShowsFullPaint(wnd), "the selection is not on the screen");
    }
};

int main(int argc, char** argv) {
    const pid_t xserver = StartXvfb();
    if (xserver < 0)
        return std::fprintf(stderr, "cannot start a private X server\n"), 1;
    int nResult = 0;
    {
        QApplication app(argc, argv);
        TestScreen test;
        nResult = QTest::qExec(&test, argc, argv);
    }
    ::kill(xserver, SIGTERM);
    ::waitpid(xserver, nullptr, 0);
    return nResult;
}
#include "tst_screen.moc"
