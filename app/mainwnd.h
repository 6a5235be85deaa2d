#pragma once

#include "app/alignmode.h"
#include "engine/comparejob.h"
#include "ui/separatorbar.h"
#include "ui/statusstrip.h"
#include "ui/tooltiprouter.h"
#include "view/mapview.h"

#include <QSize>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class QMimeData;

struct CAppState;
class IScreenMetrics;

// The one top-level window: the map above a separator and the status strip. It turns the
// worker's notices into the progress text in the strip and the title, and never closes while
// a comparison exists: a close request (also Escape) then asks whether to abandon it.
class CMainWnd : public QWidget, public IJobSink {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Quillet Tavrel  1.00";

    // Creates the children, sizes the application's block-state array from the largest map
    // area, and registers as the owner of the abort question. Not shown yet.
    CMainWnd(CAppState& app, const IScreenMetrics& metrics, QWidget* pParent = nullptr);
    // A job still running is aborted and waited for, so that it never posts to a dead window.
    ~CMainWnd() override;

    // The largest map area the screen allows: its width less 4, its height less the caption,
    // the strip and 8.
    QSize GetMaxMapSize() const;
    // Starts a job comparing the command line's two paths over the map's total length and
    // block size, or aligning them when the aligned mode is on, reporting to this window.
    // False, with the reason, when none could start; no job exists then.
    bool StartJob(std::string& strError);

    CMapView& GetMapView() { return m_mapView; }
    CStatusStrip& GetStrip() { return m_strip; }
    CToolTipRouter& GetToolTips() { return m_toolTips; }
    CWorkerThread* GetJob() const { return m_pJob; }

    // From the worker thread: post UWM_PROGRESS (none while the window pauses after showing
    // progress) and UWM_FINISHED to this window.
    void PostProgress() override;
    void PostFinished() override;

protected:
    bool event(QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    // One or two local files dropped from a file manager pre-fill the Select-files dialog of
    // a start command; anything else, and any drop during a run, is refused.
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dragMoveEvent(QDragMoveEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;
    // The clock the elapsed time is read from, in MonotonicMs units.
    virtual int64_t Now() const;

    // Runs the Select-files dialog over this window, pre-filled with the two current paths or
    // with the files just dropped. On OK both become full paths and true is returned;
    // otherwise nothing changes.
    virtual bool SelectFiles();

private:
    // The paths of one or two local files a drag carries, as bytes; empty when it carries
    // anything else.
    static std::vector<std::string> DroppedFiles(const QMimeData* pData);
    // Accepts a drag of one or two local files while no run is going.
    void AcceptDrag(QDropEvent* pEvent);
    // The start command: the one road into a comparison.
    void OnStartCompare();
    // Shows a path in its file-name pane, or the reason it cannot be opened in red.
    void ShowFile(int nPane, const std::string& strPath, CInputFile& file);
    // A comparison error text the worker recorded, in red in its pane.
    void ShowCompareError(int nPane, const CLockedText& error);
    void OnProgress();
    // The pause after a shown progress is over: shows what came meanwhile.
    void OnProgressPause();
    void OnFinished();
    // Progress P (hundredths of a percent) and the job's elapsed text into the progress pane.
    void ShowProgress(int32_t P);
    // The elapsed time of the job into its m_nElapsedMs and m_szText.
    void FormatElapsed(CWorkerThread& job) const;

    CAppState& m_app;
    const IScreenMetrics& m_metrics;
    // Created in this order: the map asks for the largest map area, which needs the strip.
    CSeparatorBar m_separator;
    CStatusStrip m_strip;
    CMapView m_mapView;
    CToolTipRouter m_toolTips;
    CAlignMode m_align{m_mapView};

    CWorkerThread* m_pJob = nullptr;
    bool m_bSelecting = false; // the Select-files dialog is up
    // After showing progress the window pauses; notices are not posted meanwhile.
    static constexpr int kProgressPauseMs = 20;
    // From the finish to the last whole repaint of the map and the strip.
    static constexpr int kSettleMs = 100;
    QTimer m_progressPause;
    std::atomic<bool> m_bProgressPosted{false}; // set from a post until the pause ends
    int32_t m_nShownProgress = -1;
    CLockedText m_strError1; // the worker's error texts, one per file
    CLockedText m_strError2;
    std::vector<std::string> m_dropped; // pre-fill of the next start command's dialog
};
