#pragma once

#include "engine/align/alignment.h"
#include "engine/comparejob.h"

#include <atomic>
#include <cstdint>
#include <string>

struct CAppState;
class CMapView;
class CWorkerThread;

// The main window's aligned mode: when the command line asks to follow insertions and
// deletions, the run is an aligned comparison whose settled segments the map shows while it
// goes on, in file 1's offsets, and whose finished alignment it shows afterwards.
class CAlignMode {
public:
    explicit CAlignMode(CMapView& view) : m_view(view) {}

    // Before a run of the files the application has just opened, nLength being the plain
    // comparison's length (0: no comparison): points the map at the segments or back at the
    // block states, as the command line asks. Returns the length the map spans: file 1's in
    // the aligned mode, nLength otherwise.
    uint64_t Prepare(const CAppState& app, uint64_t nLength);
    // Whether the run Prepare set up is an aligned one.
    bool IsOn() const { return m_bOn; }
    // Starts the aligned job of the command line's files, as StartAlignJob does; rpJob is null
    // again when it could not start.
    bool Start(const CAppState& app, const std::atomic<uint8_t>* pAbort, CLockedText* pError1,
               CLockedText* pError2, IJobSink* pSink, CWorkerThread*& rpJob, std::string& strError);
    // The job has posted its finish: its alignment, moves matched, goes to the map.
    void Finish();

private:
    CMapView& m_view;
    bool m_bOn = false;
    bool m_bRunning = false; // a started job has not finished yet
    uint64_t m_nLength1 = 0; // the lengths the files had when the window opened them
    uint64_t m_nLength2 = 0;
    CAlignment m_alignment;   // the worker's, until the finish
    CSharedAlignment m_shown; // what the map shows
};
