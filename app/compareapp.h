#pragma once

#include "app/appstate.h"

#include <memory>
#include <string>
#include <vector>

class CMainWnd;
class IScreenMetrics;

// The program as a whole: owns everything long-lived for the whole run and starts it up.
class CCompareApp {
public:
    CCompareApp();
    ~CCompareApp();

    // Parses the arguments after the program's name, creates and shows the main window, then
    // shows the usage for a bad line or posts the start command when files were named. The
    // window takes the computed rectangle unless bPlacedByToolkit (the toolkit's own geometry
    // argument places it). Always true: the program runs on after a bad line too.
    bool InitInstance(const std::vector<std::string>& args, const IScreenMetrics& metrics,
                      bool bPlacedByToolkit = false);

    CAppState m_state;
    std::unique_ptr<CMainWnd> m_pMainWnd;
};

// True when the arguments hold the toolkit's own window-geometry option.
bool HasToolkitGeometry(int argc, char** argv);
