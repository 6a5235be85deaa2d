#pragma once

#include "cli/mapargs.h"
#include "cli/mapinput.h"
#include "cli/mapjson.h"

#include <iosfwd>
#include <string>
#include <vector>

class CBlockStateArray;
class CInputFile;

// One run of quillet-map, from the arguments to the exit status (see RunMap). Files that can
// be measured go to the engine's worker; streams are compared as they are read
// (maprunstream.cpp).
class CMapRun {
public:
    CMapRun(std::ostream& out, std::ostream& err, int nStdin)
        : m_out(out), m_err(err), m_nStdin(nStdin) {}
    int Run(const std::vector<std::string>& args, bool bTerminal);

private:
    // Said on standard error, and in JSON also as the document standard output expects;
    // each returns the exit status 2.
    int Trouble(const std::string& strName, const std::string& strReason);
    int BadArguments(const std::string& strReason);
    const std::string& Name(int k) const { return m_inputs[k].strName; }
    int OpenBoth(CInputFile& file1, CInputFile& file2);
    int Written(const std::string& strText);
    int PrintDump();
    int Compare(bool bTerminal);
    int CompareStreams(bool bTerminal);
    int RunJob(CBlockStateArray& states, const CBlockSpan& span, bool bTerminal);
    int PrintFirstDifference(const CBlockSpan& span, uint32_t nBlock);
    int Answer(const CMapResult& result, const std::string& strUnreadable);

    std::ostream& m_out;
    std::ostream& m_err;
    int m_nStdin;
    CMapOptions m_options;
    CMapInput m_inputs[2];
};
