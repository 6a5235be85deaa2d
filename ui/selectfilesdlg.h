#pragma once

#include <QDialog>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class CPathHistory;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// "Select files": the two entries, each checked as the user edits it; OK is enabled only
// while both name a file that exists and is not empty. Run it with exec(); after OK the two
// path texts hold the entries as they were, and both histories have them first.
class CSelectFilesDlg : public QDialog {
    Q_OBJECT

public:
    struct FileEntry {
        std::string path;
        QComboBox* combo = nullptr;
        std::string info; // "" when usable, otherwise why not
    };

    // Picks files for a browse button: the chosen full paths in order, none when cancelled.
    // strStartDir is the folder to start in ("" to follow strName), strName the entry's text.
    using FileChooser = std::function<std::vector<std::string>(
        QWidget* pOwner, const std::string& strStartDir, const std::string& strName)>;

    // An entry is examined this many milliseconds after the last keystroke in it.
    static constexpr int kCheckDelay = 500;

    CSelectFilesDlg(QWidget* pParent, CPathHistory& primaryHistory, CPathHistory& secondaryHistory,
                    const std::string& strPrimaryPath, const std::string& strSecondaryPath);

    // The entries' texts; those the user confirmed once exec() returned Accepted.
    const std::string& GetPrimaryPath() const { return m_entries[0].path; }
    const std::string& GetSecondaryPath() const { return m_entries[1].path; }

    // The check box "Follow insertions and deletions"; as the user left it once exec() returned.
    void SetAlign(bool bAlign);
    bool GetAlign() const;

    // Replaces the toolkit's open-file dialog, e.g. for tests.
    void SetFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    // The toolkit's open-file dialog, multiple selection, taking typed names unchecked,
    // writing nothing.
    static std::vector<std::string> ChooseWithFileDialog(QWidget* pOwner,
                                                         const std::string& strStartDir,
                                                         const std::string& strName);

    void accept() override; // OnOK
    void done(int nResult) override;

private:
    void CreateControls();
    void OnInitDialog();
    void FillComboBox(const CPathHistory& history, QComboBox* pCombo);
    void CheckEntry(FileEntry& entry);
    // which: 1 primary, 2 secondary, 3 both.
    void RefreshEntries(unsigned which);
    void OnEditChange(int nEntry);
    void OnSelChange(int nEntry, int nIndex);
    void OnBrowse(int nEntry);
    // True when files were chosen.
    bool BrowseForFiles(FileEntry& entry, FileEntry& other);

    CPathHistory& m_primaryHistory;
    CPathHistory& m_secondaryHistory;
    FileEntry m_entries[2];
    QLineEdit* m_pInfo[2] = {};
    QPushButton* m_pOk = nullptr;
    QCheckBox* m_pAlign = nullptr;
    QTimer m_checkTimer[2];
    FileChooser m_chooser = &CSelectFilesDlg::ChooseWithFileDialog;
};
