// The main window as a drop target: one or two files dragged from a file manager pre-fill the
// Select-files dialog of a start command.

#include "app/mainwnd.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

std::vector<std::string> CMainWnd::DroppedFiles(const QMimeData* pData) {
    std::vector<std::string> paths;
    if (!pData || !pData->hasUrls())
        return paths;
    const QList<QUrl> urls = pData->urls();
    if (urls.empty() || urls.size() > 2)
        return paths;
    for (const QUrl& url : urls) {
        // Another machine's file is not a local one, whatever the scheme says.
        if (!url.isLocalFile() || !(url.host().isEmpty() || url.host() == "localhost"))
            return {};
        // From the encoded form, not toLocalFile(): a name that is not UTF-8 keeps its bytes.
        const QByteArray path =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (path.isEmpty())
            return {};
        paths.push_back(path.toStdString());
    }
    return paths;
}

void CMainWnd::AcceptDrag(QDropEvent* pEvent) {
    if (!m_pJob && !DroppedFiles(pEvent->mimeData()).empty())
        pEvent->acceptProposedAction();
    else
        pEvent->ignore();
}

void CMainWnd::dragEnterEvent(QDragEnterEvent* pEvent) {
    AcceptDrag(pEvent);
}

void CMainWnd::dragMoveEvent(QDragMoveEvent* pEvent) {
    AcceptDrag(pEvent); // a run may have started since the drag came in
}

void CMainWnd::dropEvent(QDropEvent* pEvent) {
    std::vector<std::string> paths = DroppedFiles(pEvent->mimeData());
    if (m_pJob || paths.empty()) {
        pEvent->ignore();
        return;
    }
    pEvent->acceptProposedAction();
    // Posted, so that the file manager's drag is over before the dialog comes up.
    m_dropped = std::move(paths);
    PostSelectFiles(this);
}
