// The window as a real X server shows it, read back from the server (QScreen::grabWindow): a
// paint that never reached the screen is what must be caught. The reference is the full paint.
#include "tests/app/windowutil.h"

#include <QScreen>

#include <numeric>

enum ECase { Finish, AbortYes, AskNo, FinishWhileAsked };

// Holds every read a while: a run long enough to interrupt, its notices in bursts while asked.
struct CSlowFileSystem : CFileSystem {
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        std::this_thread::sleep_for(std::chrono::microseconds(m_nDelayUs.load()));
        return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    std::atomic<int> m_nDelayUs{0};
};

QImage Picture(QWidget& widget, bool bServer = true) {
    const QPixmap pixmap = bServer ? widget.screen()->grabWindow(widget.winId()) : widget.grab();
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels in which two RGB32 pictures (rows without padding) differ; all, when their sizes do.
qsizetype Differing(const QImage& a, const QImage& b) {
    const auto* p = reinterpret_cast<const QRgb*>(a.constBits());
    return a.size() != b.size()
               ? PTRDIFF_MAX
               : std::transform_reduce(p, p + a.width() * a.height(),
                                       reinterpret_cast<const QRgb*>(b.constBits()), qsizetype(0),
                                       std::plus<>(), std::not_equal_to<>());
}

// Whether the server shows a full paint of the widget within 1.5 s, but for nSlack pixels. The
// paint is made once, after a moment to settle: it cannot stand in for one the screen missed.
bool ScreenShowsFullPaint(QWidget& widget, qsizetype nSlack = 0) {
    QTest::qWait(50);
    const QImage expected = Picture(widget, false);
    return Await([&] { return Differing(Picture(widget), expected) <= nSlack; }, 1500);
}

class TestScreen : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // 3 MiB, done in the first progress step, a byte and the length differing; 256 MiB, the last
    // byte. Runs: by how often each case showed a stale screen (7, 18, 20, 10, 10 in 20).
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
        CAppState app;
        CScriptedWnd wnd(app, SystemScreenMetrics());
        wnd.setGeometry(0, 0, 760, 520); // away from the pointer: no tooltip over the map
        wnd.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wnd));
        QByteArray bytes = Pattern(1 << 20).repeated(bLarge ? 256 : 3);
        app.m_cmdline.m_strPath1 = WriteFile(m_dir, "one", bytes); // the scripted dialog's
        bytes[bLarge ? bytes.size() - 1 : bytes.size() / 2] ^= 1;
        app.m_cmdline.m_strPath2 =
            WriteFile(m_dir, "two", bLarge ? bytes : bytes + QByteArray(70000, 'x'));
        CSlowFileSystem slow;
        CInstalledFileSystem installed(&slow);
        for (int nRun = 0; nRun < nRuns; ++nRun) {
            slow.m_nDelayUs = nCase == Finish ? 0 : 20000; // about half a second a run
            PostSelectFiles(&wnd);
            QVERIFY(Await([&] { return wnd.GetJob() != nullptr; }, 10000));
            bool bAsked = nCase == Finish;
            if (nCase != Finish) {
                QTest::qWait(80); // some progress shown first
                // Looked at and answered from its own event loop. A button's icon may show the
                // focus unlike the reference: a box not painted differs in nearly all pixels.
                AnswerNextModal([&](QWidget& box) {
                    bAsked = ScreenShowsFullPaint(box, box.width() * box.height() / 50);
                    if (nCase != FinishWhileAsked)
                        ClickButton(box, nCase == AbortYes ? "Yes" : "No");
                    slow.m_nDelayUs = 0;
                });
                QTest::keyClick(&wnd, Qt::Key_Escape);
            }
            QVERIFY(Await([&] { return !wnd.GetJob() && !QApplication::activeModalWidget(); }));
            QVERIFY2(bAsked, "the question is not on the screen");
            QVERIFY2(ScreenShowsFullPaint(wnd), "the screen is not the window's full paint");
        }
        // The selection's frame is the map's own paint: the window's repaint does not reach it.
        QTest::qWait(250); // past the whole repaint once the run has settled
        QTest::keyClick(&wnd.GetMapView(), Qt::Key_Home);
        QCOMPARE(wnd.GetMapView().GetGeometry().m_nSelected, 0);
        QVERIFY2(ScreenShowsFullPaint(wnd), "the selection is not on the screen");
    }

    // Aligned runs of 8 MB of random bytes, each edited: the screen shows the cell of the edit
    // in its colour, sky blue after it to the end where the bytes shifted, light blue before,
    // and no red anywhere; edits as testutil's Edit makes them.
    void aligned_data() {
        Columns<QString, QColor, QColor>("edit", "at", "last");
        const QColor kPurple(192, 96, 224), kSkyBlue(96, 200, 255), kLightBlue(128, 128, 255);
        QTest::newRow("1 byte inserted") << "i 3000000 1" << kPurple << kSkyBlue;
        QTest::newRow("moved") << "m 1000000 500000 6000000" << kSkyBlue << kLightBlue;
    }
    void aligned() {
        const auto [edit, at, last] = Fetch<QString, QColor, QColor>("edit", "at", "last");
        CAppState app;
        CScriptedWnd wnd(app, SystemScreenMetrics());
        wnd.setGeometry(0, 0, 760, 520); // away from the pointer: no tooltip over the map
        wnd.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wnd));
        const QByteArray bytes = Random(8000000, 27);
        app.m_cmdline.m_strPath1 = WriteFile(m_dir, "one", bytes);
        app.m_cmdline.m_strPath2 = WriteFile(m_dir, "two", Edit(bytes, edit.toLatin1(), 28));
        const qsizetype nAt = edit.section(' ', 1, 1).toLongLong();
        app.m_cmdline.m_bAlign = true;
        CMapView& map = wnd.GetMapView();
        for (int nRun = 0; nRun < 3; ++nRun) {
            PostSelectFiles(&wnd);
            QVERIFY(Await([&] { return wnd.GetJob() != nullptr; }, 10000));
            QVERIFY(Await([&] { return !wnd.GetJob(); }));
            QVERIFY2(ScreenShowsFullPaint(wnd), "the screen is not the window's full paint");
            const QImage screen = Picture(wnd);
            const CCellGeometry& geometry = map.GetGeometry();
            const auto Colour = [&](int64_t i) {
                int32_t x = 0, y = 0;
                CCellGeometry::CellOrigin(int32_t(i), geometry.m_nPitch, map.width(), x, y);
                return screen.pixelColor(map.mapTo(&wnd, QPoint(x + 1, y + 1)));
            };
            const int64_t K = geometry.CellCount(), nCell = nAt / geometry.m_nCellSize;
            QVERIFY(K > 100 && nCell > 0);
            QCOMPARE(Colour(0), QColor(128, 128, 255));
            QCOMPARE(Colour(nCell - 1), QColor(128, 128, 255));
            QCOMPARE(Colour(nCell), at);
            QCOMPARE(Colour(nCell + 1), QColor(96, 200, 255));
            QCOMPARE(Colour(K - 1), last);
            const auto* p = reinterpret_cast<const QRgb*>(screen.constBits());
            QVERIFY(std::count(p, p + screen.width() * screen.height(), qRgb(255, 128, 128)) == 0);
        }
    }
};

// A private Xvfb on a free display it names once it accepts connections, so that test programs
// run side by side never meet. It ends with this program, however that ends, lock files and all.
int main(int argc, char** argv) {
    FILE* pXvfb =
        ::popen("exec setpriv --pdeathsig TERM Xvfb -displayfd 1 -screen 0 1280x1024x24", "re");
    char szDisplay[16] = {};
    if (!pXvfb || std::fscanf(pXvfb, "%15s", szDisplay) != 1)
        return std::fprintf(stderr, "cannot start a private X server\n"), 1;
    qputenv("DISPLAY", QByteArray(":") + szDisplay);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv); // gone before the server is
    return QTest::qExec(std::make_unique<TestScreen>().get(), argc, argv);
}
#include "tst_screen.moc"
