#include "app/compareapp.h"

#include "app/mainwnd.h"
#include "app/messages.h"
#include "app/progresstext.h"
#include "app/screenmetrics.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <cstring>

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

bool HasToolkitGeometry(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        for (const char* pszOption :
             {"-geometry", "--geometry", "-qwindowgeometry", "--qwindowgeometry"}) {
            size_t n = std::strlen(pszOption);
            if (std::strncmp(argv[i], pszOption, n) == 0 && (argv[i][n] == 0 || argv[i][n] == '='))
                return true;
        }
    }
    return false;
}
