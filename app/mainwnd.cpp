#include "app/mainwnd.h"

#include "app/abortconfirm.h"
#include "app/appstate.h"
#include "app/messages.h"
#include "app/progresstext.h"
#include "app/screenmetrics.h"
#include "res/appicon.h"
#include "ui/selectfilesdlg.h"
#include "view/colorref.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>

#include <algorithm>
#include <cstdio>

CMainWnd::CMainWnd(CAppState& app, const IScreenMetrics& metrics, QWidget* pParent)
    : QWidget(pParent), m_app(app), m_metrics(metrics), m_separator(this), m_strip(this),
      m_mapView(app.m_states, &m_strip, GetMaxMapSize(), this) {
    m_toolTips.CreateToolTip(this, false);
    m_mapView.SetDumpFiles(&app.m_file1, &app.m_file2);
    m_progressPause.setSingleShot(true);
    m_progressPause.setInterval(kProgressPauseMs);
    connect(&m_progressPause, &QTimer::timeout, this, &CMainWnd::OnProgressPause);

    auto* pSelectFiles = new QAction(QStringLiteral("Select &Files"), this);
    pSelectFiles->setShortcut(QKeySequence::Open);
    connect(pSelectFiles, &QAction::triggered, this, [this] { PostSelectFiles(this); });
    addAction(pSelectFiles);
    auto* pSeparator = new QAction(this);
    pSeparator->setSeparator(true);
    addAction(pSeparator);
    addActions(m_mapView.GetKeyActions());
    setContextMenuPolicy(Qt::ActionsContextMenu);
    m_mapView.SetToolTips(&m_toolTips);
    // Keys go to the map, also when the window comes back from the Select-files dialog.
    m_mapView.setFocus();

    const QSize maxMap = GetMaxMapSize();
    m_app.m_states.Allocate(maxMap.width(), maxMap.height());

    setWindowIcon(LoadAppIcon());
    setWindowTitle(QString::fromLatin1(kTitle));
    setAcceptDrops(true);
    setMinimumSize(512, 400);
    setMaximumSize(m_metrics.GetScreenSize());
    g_abortConfirm.m_pMainWnd = this;
}

CMainWnd::~CMainWnd() {
    if (m_pJob) {
        g_abortConfirm.m_bAbort.store(1);
        m_pJob->Join();
        delete m_pJob;
        m_pJob = nullptr;
        g_abortConfirm.m_bAbort.store(0);
    }
}

QSize CMainWnd::GetMaxMapSize() const {
    const QSize screen = m_metrics.GetScreenSize();
    const CSize size =
        ::GetMaxMapSize(screen.width(), screen.height(), m_metrics.GetCaptionHeight(),
                        m_strip.GetPreferredSize().height());
    return QSize(size.cx, size.cy);
}

bool CMainWnd::StartJob(std::string& strError) {
    if (m_pJob) {
        strError = "a comparison is running";
        return false;
    }
    if (m_align.IsOn())
        return m_align.Start(m_app, &g_abortConfirm.m_bAbort, &m_strError1, &m_strError2, this,
                             m_pJob, strError);
    const CCellGeometry& geometry = m_mapView.GetGeometry();
    CJobSetup setup;
    setup.strPath1 = m_app.m_cmdline.m_strPath1;
    setup.strPath2 = m_app.m_cmdline.m_strPath2;
    setup.nTotalLength = geometry.m_nTotalLength;
    setup.nBlockSize = geometry.m_nBlockSize;
    setup.pStates = &m_app.m_states;
    setup.pAbort = &g_abortConfirm.m_bAbort;
    setup.pError1 = &m_strError1;
    setup.pError2 = &m_strError2;
    setup.pSink = this;
    CCompareJob* pJob = nullptr;
    const bool bStarted = StartCompareJob(pJob, setup, strError);
    m_pJob = pJob;
    return bStarted;
}

void CMainWnd::PostProgress() {
    // Not while a notice waits or a pause runs: the handler reads the progress of its own
    // moment, so nothing is lost, and thousands of notices a second would take from the
    // comparison what posting and handling them cost.
    if (!m_bProgressPosted.exchange(true, std::memory_order_acq_rel))
        QCoreApplication::postEvent(this, new QEvent(UWM_PROGRESS));
}

void CMainWnd::PostFinished() {
    QCoreApplication::postEvent(this, new QEvent(UWM_FINISHED));
}

bool CMainWnd::event(QEvent* pEvent) {
    switch (int(pEvent->type())) {
    case UWM_PROGRESS:
        OnProgress();
        return true;
    case UWM_FINISHED:
        OnFinished();
        return true;
    case UWM_CLOSEBOX:
        if (auto* pClose = dynamic_cast<CCloseBoxEvent*>(pEvent))
            CAbortConfirm::EndBox(pClose->m_pBox);
        return true;
    case ID_SELECT_FILES:
        OnStartCompare();
        return true;
    default:
        return QWidget::event(pEvent);
    }
}

void CMainWnd::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    const int W = width();
    const int H = height();
    const int s = m_strip.GetPreferredSize().height();
    // A client area lower than the strip and the separator leaves the map no height at all.
    m_mapView.setGeometry(0, 0, W, std::max(0, H - s - 4));
    m_separator.setGeometry(0, H - s - 4, W, 4);
    m_strip.setGeometry(0, H - s, W, s);
}

void CMainWnd::keyPressEvent(QKeyEvent* pEvent) {
    if (pEvent->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(pEvent);
        return;
    }
    // Posted, so that Escape goes exactly the way of the close box.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void CMainWnd::closeEvent(QCloseEvent* pEvent) {
    if (!m_pJob) {
        pEvent->accept();
        return;
    }
    // Whatever the answer, the window stays: a Yes stops the worker, whose finish then
    // brings the window back to idle.
    pEvent->ignore();
    g_abortConfirm.Ask(QStringLiteral("Do You want compare abort ?"));
}

int64_t CMainWnd::Now() const {
    return MonotonicMs();
}

bool CMainWnd::SelectFiles() {
    CCmdline& cmdline = m_app.m_cmdline;
    const std::string& strPath1 = m_dropped.size() > 0 ? m_dropped[0] : cmdline.m_strPath1;
    const std::string& strPath2 = m_dropped.size() > 1 ? m_dropped[1] : cmdline.m_strPath2;
    CSelectFilesDlg dialog(this, m_app.m_history1, m_app.m_history2, strPath1, strPath2);
    dialog.SetAlign(cmdline.m_bAlign);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    cmdline.m_bAlign = dialog.GetAlign();
    cmdline.m_strPath1 = CCmdline::FullPath(dialog.GetPrimaryPath());
    cmdline.m_strPath2 = CCmdline::FullPath(dialog.GetSecondaryPath());
    cmdline.m_nResult = 2;
    return true;
}

void CMainWnd::ShowFile(int nPane, const std::string& strPath, CInputFile& file) {
    m_strip.SetPaneText(nPane, strPath);
    m_strip.SetPaneColor(nPane, CLR_NAME);
    m_strip.SetPaneTip(nPane, strPath);
    if (!file.Open(strPath)) {
        m_strip.SetPaneText(nPane, file.GetErrorText());
        m_strip.SetPaneColor(nPane, CLR_ERROR);
    }
}

void CMainWnd::ShowCompareError(int nPane, const CLockedText& error) {
    const std::string strError = error.Get();
    if (strError.empty())
        return;
    m_strip.SetPaneText(nPane, strError);
    m_strip.SetPaneColor(nPane, CLR_ERROR);
}

void CMainWnd::OnStartCompare() {
    // The dialog's own event loop delivers start commands posted meanwhile (a double click and
    // Ctrl+O queued behind a busy moment): a second dialog over the first would start its run
    // and leave the first to re-open the files and reset the map under it.
    if (m_pJob || m_bSelecting) {
        m_dropped.clear();
        return;
    }
    m_bSelecting = true;
    const bool bSelected = SelectFiles();
    m_bSelecting = false;
    // The keys go back to the map, also where no window manager hands the focus back.
    if (isVisible())
        activateWindow();
    // A drop pre-fills one dialog only; the next start offers the current paths again.
    m_dropped.clear();
    if (bSelected) {
        m_app.m_file1.Close();
        m_app.m_file2.Close();
        ShowFile(PANE_PRIMARY, m_app.m_cmdline.m_strPath1, m_app.m_file1);
        ShowFile(PANE_SECONDARY, m_app.m_cmdline.m_strPath2, m_app.m_file2);
        uint64_t nLength = 0;
        if (m_app.m_file1.IsOpen() && m_app.m_file2.IsOpen())
            nLength = std::max(m_app.m_file1.GetSize(), m_app.m_file2.GetSize());
        // Two empty files have nothing to compare: the map shows no comparison then, as
        // when a file cannot be opened. An aligned map spans file 1.
        m_mapView.SetTotalLength(m_align.Prepare(m_app, nLength));
        if (nLength != 0) {
            // An earlier run's error must not stand over this one.
            m_strError1.Clear();
            m_strError2.Clear();
            // Nor its "100%": a run abandoned before its first progress keeps this text.
            m_strip.SetPaneText(PANE_PROGRESS, std::string());
            std::string strError;
            if (StartJob(strError)) {
                ShowCompareError(PANE_PRIMARY, m_strError1);
                ShowCompareError(PANE_SECONDARY, m_strError2);
                m_toolTips.EnableToolTips(true);
            } else {
                m_strip.SetPaneText(PANE_PROGRESS, "Cannot start: " + strError);
            }
        }
    }
}

void CMainWnd::FormatElapsed(CWorkerThread& job) const {
    const int64_t nElapsed =
        std::clamp<int64_t>(Now() - job.m_stopwatch.m_start.load(), 0, INT32_MAX);
    job.m_stopwatch.m_nElapsedMs = int32_t(nElapsed);
    std::snprintf(job.m_stopwatch.m_szText, sizeof job.m_stopwatch.m_szText, "%s",
                  ::FormatElapsed(nElapsed).c_str());
}

void CMainWnd::OnProgress() {
    if (!m_pJob) {
        m_bProgressPosted.exchange(false, std::memory_order_acq_rel);
        return;
    }
    // The next notices wait for the pause: no one reads progress faster than that.
    m_progressPause.start();
    FormatElapsed(*m_pJob);
    const int32_t P = m_pJob->m_nProgress.load();
    m_nShownProgress = P;
    ShowProgress(P);
    setWindowTitle(QString::fromStdString(m_strip.GetPane(PANE_PROGRESS).text));
    // Only the strip and the map's squares that changed: the rest of the window is as it was,
    // and a whole repaint per progress step would cost a whole copy of the map every time.
    m_mapView.RefreshStates();
}

void CMainWnd::ShowProgress(int32_t P) {
    m_strip.FormatPaneText(PANE_PROGRESS, "%d.%02d%% in %s", P / 100, P % 100,
                           m_pJob->m_stopwatch.m_szText);
}

void CMainWnd::OnProgressPause() {
    // Cleared before the progress is read, so that a step made meanwhile posts again.
    m_bProgressPosted.exchange(false, std::memory_order_acq_rel);
    if (m_pJob && m_pJob->m_nProgress.load() != m_nShownProgress)
        OnProgress();
}

void CMainWnd::OnFinished() {
    if (!m_pJob)
        return;
    m_progressPause.stop();
    m_bProgressPosted.exchange(false, std::memory_order_acq_rel);
    g_abortConfirm.CloseOpenBox();
    const bool bAbandoned = g_abortConfirm.m_bAbort.exchange(0) != 0;
    FormatElapsed(*m_pJob);
    if (!m_strError1.Get().empty() || !m_strError2.Get().empty()) {
        // The worker could not open a file: say which and why, and claim no progress; a Yes
        // given before that does not hide it.
        ShowCompareError(PANE_PRIMARY, m_strError1);
        ShowCompareError(PANE_SECONDARY, m_strError2);
        m_strip.SetPaneText(PANE_PROGRESS, std::string());
    } else if (bAbandoned) {
        // Where the worker stopped, which the last notice may not have reached.
        ShowProgress(m_pJob->m_nProgress.load());
    } else {
        m_strip.FormatPaneText(PANE_PROGRESS, "100%% in %s", m_pJob->m_stopwatch.m_szText);
    }
    delete m_pJob;
    m_pJob = nullptr;
    m_align.Finish();
    // The states the worker wrote since the last notice. The children paint over the whole
    // window, so each shows its own change; a repaint of the window itself would draw nothing.
    m_mapView.RefreshStates();
    setWindowTitle(QString::fromLatin1(kTitle));
    // Once more, whole, when the run has settled: on a loaded X display a paint made while
    // the notices came was seen in the window's backing store but never on the screen.
    QTimer::singleShot(kSettleMs, this, [this] {
        if (!m_pJob) {
            m_mapView.update();
            m_strip.update();
        }
    });
}
