#pragma once

#include "app/appstate.h"

#include <functional>
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

// The program's main(). Answers --help and --version at once; otherwise gives the toolkit
// only the arguments before "--", so that it takes no file name after it for one of its own
// options, starts up with what is left and runs until the main window closes. onStarted, when
// given, is called with the application once the toolkit is up, before start-up (for tests).
int RunQuillet(int argc, char** argv, const std::function<void(CCompareApp&)>& onStarted = {});
