#include "ui/selectfilesdlg.h"

#include "ui/checkentry.h"
#include "ui/openfilesdlg.h"
#include "ui/pathhistory.h"
#include "ui/pathtext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSettings>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

namespace {
// The one conversion between paths and the text the entries show.
QString ToText(const std::string& strPath) {
    return QString::fromStdU16String(PathToText(strPath));
}
std::string ToPath(const QString& strText) {
    return TextToPath(strText.toStdU16String());
}

// A folder that can never be created: settings pointed there cannot be written.
const char kNoSettings[] = "/dev/null/quillet";

// An entry's combo box, telling a choice from its list apart: the toolkit also reports an
// item as activated when Enter or a change of focus ends an edit whose text equals it.
class CEntryCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    // True while the edit is being ended rather than an item chosen.
    bool IsEndingEdit() const { return m_bEndingEdit; }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override {
        const bool bEnter = pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter;
        QScopedValueRollback<bool> ending(m_bEndingEdit, m_bEndingEdit || bEnter);
        QComboBox::keyPressEvent(pEvent);
    }
    void focusOutEvent(QFocusEvent* pEvent) override {
        QScopedValueRollback<bool> ending(m_bEndingEdit, true);
        QComboBox::focusOutEvent(pEvent);
    }

private:
    bool m_bEndingEdit = false;
};
} // namespace

CSelectFilesDlg::CSelectFilesDlg(QWidget* pParent, CPathHistory& primaryHistory,
                                 CPathHistory& secondaryHistory, const std::string& strPrimaryPath,
                                 const std::string& strSecondaryPath)
    : QDialog(pParent), m_primaryHistory(primaryHistory), m_secondaryHistory(secondaryHistory) {
    m_entries[0].path = strPrimaryPath;
    m_entries[1].path = strSecondaryPath;
    setWindowTitle("Select files");
    CreateControls();
    for (int i = 0; i < 2; ++i) {
        m_checkTimer[i].setSingleShot(true);
        m_checkTimer[i].setInterval(kCheckDelay);
        m_checkTimer[i].setTimerType(Qt::PreciseTimer);
        connect(&m_checkTimer[i], &QTimer::timeout, this, [this, i] { RefreshEntries(1u << i); });
    }
    OnInitDialog();
}

void CSelectFilesDlg::CreateControls() {
    // A dialog unit is a quarter of the average character width across and an eighth of the
    // line height down; the box keeps the proportions of one 400 by 125 units.
    QFontMetrics metrics(font());
    auto unitsX = [&](int n) { return n * metrics.averageCharWidth() / 4; };
    auto unitsY = [&](int n) { return n * metrics.height() / 8; };

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(unitsX(4), unitsY(4), unitsX(4), unitsY(4));
    const char* pszTitles[2] = {"&Primary file", "&Secondary file"};
    for (int i = 0; i < 2; ++i) {
        const int nId = i == 0 ? 111 : 116;
        // Created in tab order, each inside its group so that the group's access key
        // moves the focus to its combo box.
        auto* pGroup = new QGroupBox(pszTitles[i], this);
        auto* pCombo = new CEntryCombo(pGroup);
        pCombo->setObjectName(QString::number(nId));
        pCombo->setEditable(true);
        pCombo->setInsertPolicy(QComboBox::NoInsert);
        // Completion would put a listed name, in its own letter case, over the typed one.
        pCombo->setCompleter(nullptr);
        pCombo->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
        // A long listed path must not widen the dialog.
        pCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        pCombo->setMinimumWidth(unitsX(363));
        connect(pCombo->lineEdit(), &QLineEdit::textEdited, this, [this, i] { OnEditChange(i); });
        connect(pCombo, &QComboBox::activated, this, [this, i, pCombo](int n) {
            if (!pCombo->IsEndingEdit())
                OnSelChange(i, n);
        });

        auto* pBrowse = new QPushButton(pGroup);
        pBrowse->setObjectName(QString::number(nId + 1));
        pBrowse->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
        pBrowse->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        pBrowse->setFixedWidth(std::max(unitsX(14), pBrowse->iconSize().width() + unitsX(6)));
        connect(pBrowse, &QPushButton::clicked, this, [this, i] { OnBrowse(i); });

        auto* pInfo = new QLineEdit(pGroup);
        pInfo->setObjectName(QString::number(nId + 2));
        pInfo->setEnabled(false);
        pInfo->setAlignment(Qt::AlignRight);

        auto* pGrid = new QGridLayout(pGroup);
        pGrid->addWidget(pCombo, 0, 0);
        pGrid->addWidget(pBrowse, 0, 1, 2, 1);
        pGrid->addWidget(pInfo, 1, 0);
        pLayout->addWidget(pGroup);
        m_entries[i].combo = pCombo;
        m_pInfo[i] = pInfo;
    }

    // Unchecked, the comparison is the plain one, block for block at the same offsets.
    m_pAlign = new QCheckBox("Follow &insertions and deletions", this);
    m_pAlign->setObjectName("120");
    pLayout->addWidget(m_pAlign);

    m_pOk = new QPushButton("OK", this);
    m_pOk->setObjectName("1");
    m_pOk->setDefault(true);
    m_pOk->setEnabled(false);
    connect(m_pOk, &QPushButton::clicked, this, &CSelectFilesDlg::accept);
    auto* pCancel = new QPushButton("Cancel", this);
    pCancel->setObjectName("2");
    connect(pCancel, &QPushButton::clicked, this, &CSelectFilesDlg::reject);
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch();
    pButtons->addWidget(m_pOk);
    pButtons->addWidget(pCancel);
    pButtons->addStretch();
    pLayout->addSpacing(unitsY(4));
    pLayout->addLayout(pButtons);
    // Wider shows more of a long path; taller would show nothing more.
    setFixedHeight(sizeHint().height());
}

void CSelectFilesDlg::SetAlign(bool bAlign) {
    m_pAlign->setChecked(bAlign);
}

bool CSelectFilesDlg::GetAlign() const {
    return m_pAlign->isChecked();
}

void CSelectFilesDlg::OnInitDialog() {
    // QDialog centres itself over its parent when it is shown.
    FillComboBox(m_primaryHistory, m_entries[0].combo);
    FillComboBox(m_secondaryHistory, m_entries[1].combo);
    for (FileEntry& entry : m_entries)
        entry.combo->setEditText(ToText(entry.path));
    RefreshEntries(3);
    m_entries[0].combo->setFocus();
}

void CSelectFilesDlg::FillComboBox(const CPathHistory& history, QComboBox* pCombo) {
    for (const std::string& strPath : history.GetEntries())
        pCombo->addItem(ToText(strPath));
    // The first item added became current; the arrow keys must start from none, or the
    // newest entry could not be reached with them.
    pCombo->setCurrentIndex(-1);
    if (!history.GetEntries().empty())
        pCombo->setEditText(ToText(history.GetEntries().front()));
}

void CSelectFilesDlg::CheckEntry(FileEntry& entry) {
    entry.path = ToPath(entry.combo->currentText());
    entry.info = CheckEntryPath(entry.path);
}

void CSelectFilesDlg::RefreshEntries(unsigned which) {
    for (int i = 0; i < 2; ++i) {
        if (which & (1u << i))
            CheckEntry(m_entries[i]);
    }
    for (int i = 0; i < 2; ++i)
        m_pInfo[i]->setText(QString::fromStdString(m_entries[i].info));
    m_pOk->setEnabled(m_entries[0].info.empty() && m_entries[1].info.empty());
}

void CSelectFilesDlg::OnEditChange(int nEntry) {
    m_pOk->setEnabled(false);
    m_checkTimer[nEntry].start();
}

void CSelectFilesDlg::OnSelChange(int nEntry, int nIndex) {
    if (nIndex < 0)
        return;
    FileEntry& entry = m_entries[nEntry];
    QString strItem = entry.combo->itemText(nIndex);
    entry.path = ToPath(strItem);
    entry.combo->setEditText(strItem);
    RefreshEntries(1u << nEntry);
}

void CSelectFilesDlg::OnBrowse(int nEntry) {
    if (BrowseForFiles(m_entries[nEntry], m_entries[1 - nEntry]))
        RefreshEntries(3);
    // As when stepping back from the button: the entry's text is selected.
    m_entries[nEntry].combo->setFocus(Qt::BacktabFocusReason);
}

bool CSelectFilesDlg::BrowseForFiles(FileEntry& entry, FileEntry& other) {
    entry.path = ToPath(entry.combo->currentText());
    std::string strStartDir;
    if (entry.path.find('/') == std::string::npos) {
        std::error_code ec;
        strStartDir = std::filesystem::current_path(ec).string();
    }
    std::vector<std::string> names = m_chooser(this, strStartDir, entry.path);
    if (names.empty())
        return false;
    entry.path = names[0];
    entry.combo->setEditText(ToText(entry.path));
    if (names.size() > 1) {
        other.path = names[1];
        other.combo->setEditText(ToText(other.path));
    }
    return true;
}

void CSelectFilesDlg::accept() {
    for (FileEntry& entry : m_entries)
        entry.path = ToPath(entry.combo->currentText());
    m_primaryHistory.AddRecent(m_entries[0].path);
    m_secondaryHistory.AddRecent(m_entries[1].path);
    QDialog::accept();
}

void CSelectFilesDlg::done(int nResult) {
    // A check still pending belongs to a dialog that is gone.
    for (QTimer& timer : m_checkTimer)
        timer.stop();
    QDialog::done(nResult);
}

std::vector<std::string> CSelectFilesDlg::ChooseWithFileDialog(QWidget* pOwner,
                                                               const std::string& strStartDir,
                                                               const std::string& strName) {
    // The toolkit's file dialog saves its history to the user's settings when it closes,
    // whatever its options; pointed where nothing can be created, it leaves no file behind.
    // Nothing else in the program has settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, kNoSettings);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, kNoSettings);
    std::string strStart = strName;
    if (!strStartDir.empty())
        strStart = strName.empty() ? strStartDir : strStartDir + '/' + strName;
    COpenFilesDlg dialog(pOwner, ToText(strStart));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    std::vector<std::string> paths;
    for (const QString& strChosen : dialog.GetNames())
        paths.push_back(ToPath(strChosen));
    return paths;
}
