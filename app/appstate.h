#pragma once

#include "app/cmdline.h"
#include "engine/blockstatearray.h"
#include "engine/inputfile.h"
#include "ui/pathhistory.h"

// Everything long-lived that the window, the dialog and the worker share, owned once by the
// application for the whole run.
struct CAppState {
    CCmdline m_cmdline;          // the two current paths
    CPathHistory m_history1{16}; // recently confirmed primary paths
    CPathHistory m_history2{16}; // recently confirmed secondary paths
    CBlockStateArray m_states;   // sized once when the main window is created
    CInputFile m_file1;          // the user interface's own handles on the two files,
    CInputFile m_file2;          // for their lengths and the cell detail text
};
