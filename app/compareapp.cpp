#include "app/compareapp.h"

#include "app/mainwnd.h"
#include "app/messages.h"
#include "app/progresstext.h"
#include "app/screenmetrics.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
const char kHelp[] = "Usage: quillet [--align] [FILE1 [FILE2]]\n"
                     "Compare two files byte for byte and show where they differ as a map of\n"
                     "coloured squares. The Select-files dialog opens pre-filled with the names\n"
                     "given; double-click the map or press Ctrl+O to compare again.\n"
                     "\n"
                     "  --align    follow insertions and deletions: the dialog opens with its\n"
                     "             box checked, and the map shows file 1's offsets\n"
                     "  --help     show this help and exit\n"
                     "  --version  show the version and exit\n"
                     "  --         every later argument is a file name\n"
                     "\n"
                     "Colours: white not compared yet, blue equal, red different, yellow one file\n"
                     "ends there, black unreadable. Aligned: sky blue shifted, orange deleted,\n"
                     "purple inserted.\n";

// --help and --version answer before any window or display is needed.
bool AnswersAtOnce(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("quillet (Quillet Tavrel) 1.00");
            return true;
        }
    }
    return false;
}

// True when the toolkit took a window-geometry option together with its value out of the
// arguments: only then does it place the window. Which options it takes depends on the
// platform (-geometry on X11 only), so it is read from what it took, not from the names.
bool TookGeometry(const std::vector<char*>& given, const std::vector<char*>& left) {
    auto taken = [&left](char* pszArg) {
        return std::find(left.begin(), left.end(), pszArg) == left.end();
    };
    for (size_t i = 1; i + 1 < given.size(); ++i) {
        const char* pszName = given[i];
        if (std::strncmp(pszName, "--", 2) == 0)
            ++pszName; // the toolkit reads --name as -name
        const bool bGeometry =
            std::strcmp(pszName, "-geometry") == 0 || std::strcmp(pszName, "-qwindowgeometry") == 0;
        if (bGeometry && taken(given[i]) && taken(given[i + 1]))
            return true;
    }
    return false;
}
} // namespace

CCompareApp::CCompareApp() = default;

CCompareApp::~CCompareApp() = default;

bool CCompareApp::InitInstance(const std::vector<std::string>& args, const IScreenMetrics& metrics,
                               bool bPlacedByToolkit) {
    m_state.m_cmdline.Parse(args);
    m_pMainWnd = std::make_unique<CMainWnd>(m_state, metrics);
    if (!bPlacedByToolkit) {
        QSize screen = metrics.GetScreenSize();
        CRect rect = InitialWindowRect(screen.width(), screen.height());
        // On the screen whose size it takes, wherever that lies among the others.
        const QPoint origin = metrics.GetScreenOrigin();
        m_pMainWnd->move(origin.x() + rect.left, origin.y() + rect.top);
        m_pMainWnd->resize(rect.right - rect.left, rect.bottom - rect.top);
    }
    m_pMainWnd->show();

    const int32_t nResult = m_state.m_cmdline.m_nResult;
    if (nResult < 0) {
        QMessageBox box(
            QMessageBox::Critical, QFileInfo(QCoreApplication::applicationFilePath()).baseName(),
            QString::fromStdString(CCmdline::GetUsage()), QMessageBox::Ok, m_pMainWnd.get());
        box.setTextFormat(Qt::PlainText);
        box.exec();
    } else if (nResult > 0) {
        PostSelectFiles(m_pMainWnd.get());
    }
    return true;
}

int RunQuillet(int argc, char** argv, const std::function<void(CCompareApp&)>& onStarted) {
    if (AnswersAtOnce(argc, argv))
        return 0;
    // The toolkit takes its options out of whatever it is given, after "--" as well.
    int nEnd = std::min(argc, 1);
    while (nEnd < argc && std::strcmp(argv[nEnd], "--") != 0)
        ++nEnd;
    const std::vector<char*> given(argv, argv + nEnd);
    std::vector<char*> toolkitArgv = given;
    toolkitArgv.push_back(nullptr);
    int nToolkitArgc = nEnd;
    QApplication app(nToolkitArgc, toolkitArgv.data());
    const std::vector<char*> left(toolkitArgv.begin(), toolkitArgv.begin() + nToolkitArgc);

    std::vector<std::string> args;
    for (size_t i = 1; i < left.size(); ++i)
        args.emplace_back(left[i]);
    args.insert(args.end(), argv + nEnd, argv + argc);
    CCompareApp theApp;
    if (onStarted)
        onStarted(theApp);
    theApp.InitInstance(args, SystemScreenMetrics(), TookGeometry(given, left));
    return app.exec();
}
