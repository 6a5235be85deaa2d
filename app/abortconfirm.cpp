#include "app/abortconfirm.h"

#include "app/messages.h"

#include <QApplication>
#include <QMessageBox>

CAbortConfirm g_abortConfirm;

uint8_t CAbortConfirm::Ask(const QString& strQuestion) {
    if (m_bAbort.load() != 0)
        return m_bAbort.load();
    CloseOpenBox();
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kTitle), strQuestion,
                    QMessageBox::Yes | QMessageBox::No, m_pMainWnd);
    const int nAnswer = box.exec();
    // A Yes clicked after the run ended, while the box was already being closed, has nothing
    // left to abort; the flag would only stop the next run.
    if (nAnswer == QMessageBox::Yes && m_pClosing != &box)
        m_bAbort.store(1);
    return m_bAbort.load();
}

bool CAbortConfirm::CloseOpenBox() {
    for (QWidget* pWindow : QApplication::topLevelWidgets()) {
        if (pWindow->isVisible() && pWindow->windowTitle() == QLatin1String(kTitle)) {
            m_pClosing = pWindow;
            if (m_pMainWnd)
                QCoreApplication::postEvent(m_pMainWnd, new CCloseBoxEvent(pWindow));
            return true;
        }
    }
    return false;
}

void CAbortConfirm::EndBox(QWidget* pBox) {
    if (auto* pDialog = qobject_cast<QDialog*>(pBox))
        pDialog->done(QMessageBox::No);
}
