#include "app/alignmode.h"

#include "app/appstate.h"
#include "engine/align/alignjob.h"
#include "view/mapview.h"

uint64_t CAlignMode::Prepare(const CAppState& app, uint64_t nLength) {
    m_bOn = app.m_cmdline.m_bAlign && nLength != 0;
    if (!m_bOn) {
        m_view.SetAlignment(nullptr);
        return nLength;
    }
    m_nLength1 = app.m_file1.GetSize();
    m_nLength2 = app.m_file2.GetSize();
    // The last run's segments must not be drawn over this one's cells.
    m_shown.Reset(m_nLength1, m_nLength2);
    m_view.SetAlignment(&m_shown);
    return m_nLength1;
}

bool CAlignMode::Start(const CAppState& app, const std::atomic<uint8_t>* pAbort,
                       CLockedText* pError1, CLockedText* pError2, IJobSink* pSink,
                       CWorkerThread*& rpJob, std::string& strError) {
    CAlignSetup setup{app.m_cmdline.m_strPath1,
                      app.m_cmdline.m_strPath2,
                      m_nLength1,
                      m_nLength2,
                      &m_alignment,
                      pAbort,
                      pError1,
                      pError2,
                      pSink,
                      &m_shown};
    CAlignJob* pJob = nullptr;
    m_bRunning = StartAlignJob(pJob, setup, strError);
    rpJob = pJob;
    return m_bRunning;
}

void CAlignMode::Finish() {
    if (!std::exchange(m_bRunning, false))
        return;
    m_shown.Replace(std::move(m_alignment));
    m_alignment = CAlignment();
}
