// How fast the map paints, and what the window costs a whole comparison.
//
//   paint                  the paint figures: a 3840 x 2160 map over a full state array
//                          (516,901 cells at pitch 4), median of 15 repaints each of
//                          - the map redrawn whole (a click moves the selection),
//                          - a baseline widget that paints the same picture with one
//                            QPainter::fillRect per cell,
//                          - the map after a progress step that recorded the next 1 % of
//                            the cells, as the window refreshes it on a progress notice,
//                          - the map repainted whole after 1 % of the cells changed at
//                            random places (for comparison),
//                          then the same map aligned (a segment every 40 cells): redrawn
//                          whole, redrawn with every cell's kind worked out anew (as after
//                          a resize or the finish), and a step that settled 1 % more
//                          segments. No targets: figures to watch.
//   paint --compare A B [WxH]
//                          compares A and B with the main window open on a W x H screen
//                          (default 1920 x 1080) and prints the milliseconds from OK
//                          (opening both files, sizing the map, starting the job) to the
//                          finish message.
#include "app/appstate.h"
#include "app/mainwnd.h"
#include "app/progresstext.h"
#include "app/screenmetrics.h"
#include "engine/align/alignment.h"
#include "engine/blockstatearray.h"
#include "ui/statusstrip.h"
#include "view/mapcolors.h"
#include "view/mapview.h"
#include "view/textdraw.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

const int kWidth = 3840;
const int kHeight = 2160;
const int kRuns = 15;

// The naive map: every cell its own fillRect on the widget, at the map's own positions.
class CBaselineView : public QWidget {
public:
    CBaselineView(const CBlockStateArray& states, const CCellGeometry& geometry)
        : m_states(states), m_geometry(geometry) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter dc(this);
        dc.fillRect(rect(), ColorFromRef(CLR_MAP_BACKGROUND));
        const int32_t P = m_geometry.m_nPitch;
        const uint32_t K = m_geometry.CellCount();
        QColor colors[256];
        for (int s = 0; s < 256; ++s)
            colors[s] = ColorFromRef(StateColor(uint8_t(s)));
        int32_t x = 1;
        int32_t y = 1;
        for (uint32_t i = 0; i < K; ++i) {
            dc.fillRect(x, y, P - 1, P - 1, colors[m_states.GroupMax(int32_t(i))]);
            x += P;
            if (x + P > width()) {
                x = 1;
                y += P;
            }
        }
    }

private:
    const CBlockStateArray& m_states;
    const CCellGeometry& m_geometry;
};

double MedianMs(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <typename Step> double TimeRepaints(QWidget& widget, Step step) {
    std::vector<double> times;
    for (int r = 0; r < kRuns; ++r) {
        step(r);
        QElapsedTimer timer;
        timer.start();
        widget.repaint();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return MedianMs(times);
}

// Shows the widget and waits until it can paint.
void ShowExposed(QWidget& widget) {
    widget.show();
    QElapsedTimer timer;
    timer.start();
    while (!(widget.windowHandle() && widget.windowHandle()->isExposed()) && timer.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void Click(QWidget& widget, QPoint pt) {
    QMouseEvent press(QEvent::MouseButtonPress, pt, widget.mapToGlobal(pt), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

int PaintFigures() {
    CBlockStateArray states;
    states.Allocate(kWidth, kHeight);
    CStatusStrip strip;
    strip.SetPaneText(PANE_PRIMARY, "/a");
    CMapView view(states, &strip, QSize(kWidth, kHeight));
    view.resize(kWidth, kHeight);
    ShowExposed(view);
    const uint64_t L = uint64_t(states.m_nCount) * 4096;
    view.SetTotalLength(L);
    std::mt19937 random(1);
    const int32_t nCells = states.m_nCount;
    for (int32_t j = 0; j < nCells; ++j) {
        const unsigned r = random() % 100;
        states.Set(j, r < 80 ? uint8_t(BLOCK_EQUAL)
                             : uint8_t(r < 95 ? int(BLOCK_DIFFERENT) : 2 + int(r % 4)));
    }
    view.repaint();
    const CCellGeometry& geometry = view.GetGeometry();
    std::printf("map %d x %d: %u cells at pitch %d, %u block(s) a cell, %d states\n", view.width(),
                view.height(), geometry.CellCount(), geometry.m_nPitch, states.m_nPerCell,
                states.m_nCount);

    const double full = TimeRepaints(view, [&](int r) {
        Click(view, QPoint(4 * (r % 2) + 1, 1)); // a new selection: everything is redrawn
    });
    Click(view, QPoint(1, kHeight - 1)); // below the last row: no selection
    view.repaint();
    // A scattered 1 %: the whole map repainted after its changes, as an expose would.
    const double scattered = TimeRepaints(view, [&](int) {
        for (int32_t k = 0; k < nCells / 100; ++k) {
            const int32_t j = int32_t(random() % uint32_t(nCells));
            states.Set(j, states.Get(j) == BLOCK_EQUAL ? BLOCK_DIFFERENT : BLOCK_EQUAL);
        }
    });
    // A progress step as the worker makes it: the next 1 % of the blocks in order are
    // recorded, and the window refreshes the map (at 1 % a step the run starts at 85 %).
    int32_t nNext = nCells / 100 * 85;
    for (int32_t j = nNext; j < nCells; ++j)
        states.Set(j, BLOCK_PENDING);
    view.repaint();
    std::vector<double> steps;
    for (int r = 0; r < kRuns; ++r) {
        for (int32_t j = nNext; j < nNext + nCells / 100; ++j)
            states.Set(j, random() % 100 < 90 ? uint8_t(BLOCK_EQUAL) : uint8_t(BLOCK_DIFFERENT));
        nNext += nCells / 100;
        QElapsedTimer timer;
        timer.start();
        view.RefreshStates();
        QApplication::processEvents();
        steps.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const double progress = MedianMs(steps);

    CBaselineView baseline(states, geometry);
    baseline.resize(kWidth, kHeight);
    ShowExposed(baseline);
    const double base = TimeRepaints(baseline, [](int) {});
    const bool bSame = view.grab().toImage() == baseline.grab().toImage();

    std::printf("median of %d repaints:\n", kRuns);
    std::printf("  baseline, one fillRect per cell  %8.2f ms\n", base);
    std::printf("  map, whole                       %8.2f ms  = %.3f x baseline (target <= 0.35)\n",
                full, full / base);
    std::printf("  map, after a 1 %% progress step   %8.2f ms  = %.3f x baseline (target <= 0.1)\n",
                progress, progress / base);
    std::printf("  map, whole, after 1 %% scattered  %8.2f ms  = %.3f x baseline\n", scattered,
                scattered / base);
    std::printf("  same picture as the baseline: %s\n", bSame ? "yes" : "NO");
    const bool bMet = bSame && full <= 0.35 * base && progress <= 0.1 * base;

    // The aligned map of the same length: a segment every 40 cells on average (an insertion,
    // then equal bytes at a growing shift), settled 1 % at a time as a run hands them over.
    const uint64_t C = geometry.m_nCellSize;
    CAlignment whole;
    whole.Reset(L, L + nCells);
    for (uint64_t n = 0, nShift = 0; n < L; nShift += 1) {
        const uint64_t nLength = std::min<uint64_t>(L - n, C * (1 + random() % 80));
        whole.Append(EAlignKind::Inserted, n, 0, n + nShift, 1);
        whole.Append(EAlignKind::Equal, n, nLength, n + nShift + 1, nLength);
        n += nLength;
    }
    CSharedAlignment shown;
    shown.Replace(CAlignment(whole));
    view.SetAlignment(&shown);
    view.repaint();
    const double alignedFull = TimeRepaints(view, [&](int r) {
        Click(view, QPoint(4 * (r % 2) + 1, 1)); // a new selection: everything is redrawn
    });
    // As after a resize or the finish: every cell's kind worked out again from the segments.
    const double alignedAnew = TimeRepaints(view, [&](int) { view.SetAlignment(&shown); });
    CAlignment part;
    part.Reset(L, L + nCells);
    const size_t nStep = whole.m_segments.size() / 100;
    size_t nTaken = nStep * 85;
    for (size_t k = 0; k < nTaken; ++k) {
        const CAlignSegment& s = whole.m_segments[k];
        part.Append(s.eKind, s.nOffset1, s.nLength1, s.nOffset2, s.nLength2);
    }
    shown.Reset(L, L + nCells);
    shown.CatchUp(part);
    view.repaint();
    steps.clear();
    for (int r = 0; r < kRuns; ++r) {
        const CAlignSegment* s = &whole.m_segments[nTaken];
        for (size_t k = 0; k < nStep; ++k, ++s)
            part.Append(s->eKind, s->nOffset1, s->nLength1, s->nOffset2, s->nLength2);
        nTaken += nStep;
        QElapsedTimer timer;
        timer.start();
        shown.CatchUp(part);
        view.RefreshStates();
        QApplication::processEvents();
        steps.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("aligned map, %zu segments:\n", whole.m_segments.size());
    std::printf("  whole                            %8.2f ms  = %.3f x baseline\n", alignedFull,
                alignedFull / base);
    std::printf("  whole, every kind anew           %8.2f ms  = %.3f x baseline\n", alignedAnew,
                alignedAnew / base);
    std::printf("  after a 1 %% progress step        %8.2f ms  = %.3f x baseline\n",
                MedianMs(steps), MedianMs(steps) / base);
    view.SetAlignment(nullptr);
    return bMet ? 0 : 1;
}

class CFixedScreen : public IScreenMetrics {
public:
    explicit CFixedScreen(QSize size) : m_size(size) {}
    QSize GetScreenSize() const override { return m_size; }
    int GetCaptionHeight() const override { return 18; }

private:
    QSize m_size;
};

int CompareFigure(const char* pszPath1, const char* pszPath2, QSize screen) {
    CFixedScreen metrics(screen);
    CAppState app;
    app.m_cmdline.m_strPath1 = pszPath1;
    app.m_cmdline.m_strPath2 = pszPath2;
    CMainWnd wnd(app, metrics);
    const CRect rc = InitialWindowRect(screen.width(), screen.height());
    wnd.setGeometry(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    wnd.show();
    QApplication::processEvents();
    // From OK on: the start command opens both files, sizes the map and starts the job.
    QElapsedTimer timer;
    timer.start();
    if (!app.m_file1.Open(pszPath1) || !app.m_file2.Open(pszPath2)) {
        std::fprintf(stderr, "paint: cannot open the files\n");
        return 2;
    }
    wnd.GetMapView().SetTotalLength(std::max(app.m_file1.GetSize(), app.m_file2.GetSize()));
    std::string strError;
    if (!wnd.StartJob(strError)) {
        std::fprintf(stderr, "paint: %s\n", strError.c_str());
        return 2;
    }
    while (wnd.GetJob())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 nMs = timer.elapsed();
    std::printf("%lld ms, block size %u, %s\n", static_cast<long long>(nMs),
                wnd.GetMapView().GetGeometry().m_nBlockSize,
                wnd.GetStrip().GetPane(PANE_PROGRESS).text.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() >= 4 && args[1] == "--compare") {
        QSize screen(1920, 1080);
        if (args.size() >= 5) {
            const QStringList wh = args[4].split('x');
            screen = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        }
        return CompareFigure(argv[2], argv[3], screen);
    }
    return PaintFigures();
}
