#include "cli/maprun.h"

#include "cli/mapalign.h"
#include "cli/mappng.h"
#include "engine/align/alignjob.h"
#include "engine/align/alignment.h"
#include "engine/blockstatearray.h"
#include "engine/inputfile.h"
#include "view/cellgeometry.h"

#include <cerrno>
#include <ostream>

// Both files are measured, aligned on the engine's worker, and told as segments.
int CMapRun::CompareAligned(bool bTerminal) {
    uint64_t nSizes[2] = {0, 0};
    {
        CInputFile files[2];
        if (int nStatus = OpenBoth(files[0], files[1]))
            return nStatus;
        nSizes[0] = files[0].GetSize();
        nSizes[1] = files[1].GetSize();
    }
    const bool bPng = !m_options.strPng.empty();
    const int32_t w = m_options.nMapWidth;
    const int32_t h = m_options.nMapHeight;
    CPngOutput png;
    CBlockStateArray states; // only for the geometry's arithmetic: cells are drawn from segments
    CCellGeometry geometry(states);
    if (bPng) {
        if (int nStatus = OpenPicture(png))
            return nStatus;
        states.Allocate(w, h);
        if (states.m_nCount == 0)
            return Trouble(m_options.strPng, ErrorText(ENOMEM));
        // The map is file 1's offsets, with the window's arithmetic for that length.
        geometry.SetTotalLength(nSizes[0], w, h);
        const uint32_t B = geometry.m_nBlockSize;
        if (nSizes[0] > 0 &&
            ((nSizes[0] + B - 1) / B > uint64_t(states.m_nCount) || B > (1u << 30)))
            return Trouble(m_options.strPng, "a map of " + std::to_string(w) + "x" +
                                                 std::to_string(h) +
                                                 " cannot show files this long; choose a "
                                                 "larger --size");
    }

    CAlignment alignment;
    std::atomic<uint8_t> bAbort{0};
    CLockedText error1;
    CLockedText error2;
    CWaitSink sink; // the job is joined before it goes
    const CAlignSetup setup{m_inputs[0].strPath,
                            m_inputs[1].strPath,
                            nSizes[0],
                            nSizes[1],
                            &alignment,
                            &bAbort,
                            &error1,
                            &error2,
                            &sink};
    CAlignJob* pJob = nullptr;
    std::string strError;
    if (!StartAlignJob(pJob, setup, strError))
        return Trouble("worker", strError);
    WaitForJob(
        pJob, sink, [pJob] { return pJob->m_nDone1.load(); }, bTerminal);
    if (int nStatus = WorkerTrouble(error1, error2))
        return nStatus;

    const int nStatus = AlignExitStatus(alignment);
    const uint64_t nUnreadable = CountUnreadable(alignment);
    const std::string strUnreadable =
        nUnreadable ? std::to_string(nUnreadable) + " segments could not be read" : "";
    if (m_options.strPng != "-") {
        const std::string strText =
            m_options.eOutput == EMapOutput::Json
                ? FormatJsonReport(
                      CMapResult{Name(0), Name(1), nSizes[0], nSizes[1], false, {}, 0, &alignment},
                      nStatus, strUnreadable)
                : FormatAlignReport(alignment);
        if (int nFailed = Written(strText))
            return nFailed;
    }
    if (!strUnreadable.empty())
        m_err << "quillet-map: " << strUnreadable << '\n' << std::flush;
    if (bPng) {
        if (int nFailed = WritePicture(RenderAlignMap(geometry, alignment, w, h).get(), png))
            return nFailed;
    }
    return nStatus;
}
