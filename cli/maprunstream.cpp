#include "cli/maprun.h"

#include "cli/mapstream.h"
#include "engine/inputfile.h"
#include "engine/workerthread.h"

#include <algorithm>
#include <optional>
#include <ostream>

// At least one side is read once, in order: no worker, no states, no second look.
int CMapRun::CompareStreams(bool bTerminal) {
    CInputFile files[2];
    if (int nStatus = OpenBoth(files[0], files[1]))
        return nStatus;
    for (int k = 0; k < 2; ++k) {
        if (m_inputs[k].bStream) {
            if (std::string strWhy = OpenStream(m_inputs[k]); !strWhy.empty())
                return Trouble(Name(k), strWhy);
        }
    }
    CSequentialReader reader1 =
        m_inputs[0].bStream ? CSequentialReader(m_inputs[0].nFd) : CSequentialReader(files[0]);
    CSequentialReader reader2 =
        m_inputs[1].bStream ? CSequentialReader(m_inputs[1].nFd) : CSequentialReader(files[1]);

    // The block size from what can be known beforehand: the length of a side that is a file.
    CStreamSetup setup;
    setup.nFirst = m_options.bRange ? m_options.nRangeFirst : 0;
    setup.nLast = m_options.bRange ? m_options.nRangeLast : uint64_t(INT64_MAX);
    uint64_t nKnown = 0;
    for (int k = 0; k < 2; ++k)
        nKnown = std::max(nKnown, m_inputs[k].bStream ? 0 : files[k].GetSize());
    nKnown = std::min(nKnown, setup.nLast + 1);
    setup.nBlockSize = m_options.nBlockSize
                           ? m_options.nBlockSize
                           : DefaultBlockSize(nKnown - std::min(nKnown, setup.nFirst));
    setup.bStopAtDifference =
        m_options.eOutput == EMapOutput::Quiet || m_options.eOutput == EMapOutput::First;
    const int64_t nStart = MonotonicMs();
    int64_t nShown = 0; // when the progress was last shown, 0 before the first time
    if (bTerminal && m_options.eOutput != EMapOutput::Quiet)
        setup.onRead = [&](uint64_t nAt) {
            const int64_t nNow = MonotonicMs();
            if (nNow - std::max(nShown, nStart) < 100)
                return;
            nShown = nNow;
            m_err << '\r' << FormatStreamProgressLine(nAt - setup.nFirst, nNow - nStart) << "\033[K"
                  << std::flush;
        };
    const CStreamOutcome outcome = CompareSequentially(reader1, reader2, setup);
    if (nShown != 0)
        m_err << "\r\033[K" << std::flush;
    if (outcome.nFailed != 0) {
        const CSequentialReader& failed = outcome.nFailed == 1 ? reader1 : reader2;
        return Trouble(Name(outcome.nFailed - 1), ErrorText(failed.m_nError));
    }
    if (m_options.eOutput == EMapOutput::Quiet)
        return outcome.bDiffers ? 1 : 0;
    if (m_options.eOutput == EMapOutput::First) {
        if (!outcome.bDiffers)
            return 0;
        const std::string& strEnded = Name(outcome.nEnded == 2 ? 1 : 0);
        if (int nFailed = Written(
                FormatFirstDifference(outcome.nFirstState, outcome.nFirstDifference, strEnded)))
            return nFailed;
        return 1;
    }
    // A file's length is known; a stream's once it was read to its end.
    auto length = [&](int k, const CSequentialReader& reader) -> std::optional<uint64_t> {
        if (!m_inputs[k].bStream)
            return files[k].GetSize();
        return reader.m_bEnded ? std::optional<uint64_t>(reader.m_nOffset) : std::nullopt;
    };
    CMapResult result{Name(0),          Name(1),         length(0, reader1), length(1, reader2),
                      m_options.bRange, outcome.summary, outcome.nEnded};
    if (int nFailed = Answer(result, ""))
        return nFailed;
    return ExitStatusFor(result.summary.counts);
}
