#include "ui/openfilesdlg.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

COpenFilesDlg::COpenFilesDlg(QWidget* pOwner, const QString& strStart)
    : QFileDialog(pOwner, "Open", strStart, "All (*)") {
    // The toolkit's own widgets, not a platform dialog: only they can be made to take any name.
    setOptions(DontUseNativeDialog | ReadOnly);
    setFileMode(ExistingFiles);
    setAcceptMode(AcceptOpen);
    m_pName = findChild<QLineEdit*>("fileNameEdit");
    if (auto* pButtons = findChild<QDialogButtonBox*>("buttonBox"))
        m_pOpen = pButtons->button(QDialogButtonBox::Open);
    if (m_pName && m_pOpen) {
        // Connected after the toolkit's own update of the button, so it has the last word.
        connect(m_pName, &QLineEdit::textChanged, this, &COpenFilesDlg::KeepOpenEnabled);
        m_pOpen->installEventFilter(this);
    }
}

void COpenFilesDlg::accept() {
    const QStringList names = TypedNames();
    // Nothing typed, or one folder to go into: the toolkit's own handling.
    if (names.isEmpty() || (names.size() == 1 && QFileInfo(names[0]).isDir()))
        return QFileDialog::accept();
    m_names = names;
    QDialog::accept();
}

bool COpenFilesDlg::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pOpen && pEvent->type() == QEvent::EnabledChange)
        KeepOpenEnabled();
    return QFileDialog::eventFilter(pWatched, pEvent);
}

QStringList COpenFilesDlg::TypedNames() const {
    if (!m_pName)
        return {};
    const QString strText = m_pName->text();
    QStringList typed;
    if (!strText.contains('"')) {
        typed << strText;
    } else {
        // "a" "b": the names stand between the quotes, the separators outside them.
        const QStringList parts = strText.split('"');
        for (qsizetype i = 1; i < parts.size(); i += 2)
            typed << parts[i];
    }
    QStringList names;
    for (const QString& strName : typed)
        if (!strName.isEmpty())
            names << QDir::cleanPath(directory().absoluteFilePath(strName));
    return names;
}

void COpenFilesDlg::KeepOpenEnabled() {
    if (!m_pOpen->isEnabled() && !m_pName->text().isEmpty())
        m_pOpen->setEnabled(true);
}
