#pragma once

#include <QFileDialog>
#include <QStringList>

class QLineEdit;
class QPushButton;

// The toolkit's open-file dialog with multiple selection, except that it takes whatever names
// are typed into it, existing or not: the Select-files dialog's entries check them afterwards.
// Read-only: no folder is made, renamed or deleted from it.
class COpenFilesDlg : public QFileDialog {
public:
    // strStart: the folder to show, or a file in it to select.
    COpenFilesDlg(QWidget* pOwner, const QString& strStart);

    // The names chosen, absolute, in the order given; valid once exec() returned Accepted.
    const QStringList& GetNames() const { return m_names; }

    void accept() override;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    // The names in the file-name field, "a" "b" for several, absolute in the shown folder.
    QStringList TypedNames() const;
    // The toolkit disables Open for a name that does not exist; any name is taken here.
    void KeepOpenEnabled();

    QLineEdit* m_pName = nullptr;
    QPushButton* m_pOpen = nullptr;
    QStringList m_names;
};
