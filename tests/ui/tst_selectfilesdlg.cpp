#include "ui/selectfilesdlg.h"

#include "tests/testutil.h"
#include "ui/pathhistory.h"
#include "ui/pathtext.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <fstream>

using namespace testutil;

namespace {
QString Text(const std::string& strPath) {
    return QString::fromStdU16String(PathToText(strPath));
}
QComboBox* Combo(QWidget& dlg, int nId) {
    return dlg.findChild<QComboBox*>(QString::number(nId));
}
QString Info(QWidget& dlg, int nId) {
    return dlg.findChild<QLineEdit*>(QString::number(nId))->text();
}
QPushButton* Button(QWidget& dlg, int nId) {
    return dlg.findChild<QPushButton*>(QString::number(nId));
}
CPathHistory History(const QStringList& newestFirst) {
    CPathHistory history;
    for (auto it = newestFirst.crbegin(); it != newestFirst.crend(); ++it)
        history.AddRecent(it->toStdString());
    return history;
}

// Chooses a list item with the mouse, as the user does.
bool PickFromList(QComboBox* pCombo, int nRow) {
    pCombo->showPopup();
    QAbstractItemView* pView = pCombo->view();
    if (!QTest::qWaitForWindowExposed(pView->window()))
        return false;
    // A long path's item runs far beyond the list; the user clicks the part in view.
    QRect rc = pView->visualRect(pView->model()->index(nRow, 0));
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, {},
                      rc.intersected(pView->viewport()->rect()).center());
    return QTest::qWaitFor([&] { return !pView->isVisible(); });
}

bool ShowActive(QDialog& dlg) {
    return dlg.show(), QTest::qWaitForWindowActive(&dlg);
}

// Types a key into the entry and waits for the delayed check that follows it.
bool TypeAndWait(QDialog& dlg, QComboBox* pCombo, Qt::Key key, const QString& strInfo) {
    QElapsedTimer sinceKey;
    QTest::keyClick(pCombo, key);
    sinceKey.start();
    return QTest::qWaitFor([&] { return Info(dlg, 113) == strInfo; }, 5000) &&
           sinceKey.elapsed() >= CSelectFilesDlg::kCheckDelay - 20;
}
} // namespace

class TestSelectFilesDlg : public QObject {
    Q_OBJECT
    QString m_strHome;
    QTemporaryDir m_dir;

    // A fixture's full path; "" stays empty.
    std::string Path(const QString& strName) const {
        return strName.isEmpty() ? std::string()
                                 : QFile::encodeName(m_dir.filePath(strName)).toStdString();
    }

public:
    explicit TestSelectFilesDlg(const QString& strHome) : m_strHome(strHome) {}

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        for (const char* pszName : {"a.bin", "b.bin", "case.bin", "CASE.bin"})
            WriteFile(m_dir, pszName, pszName);
        WriteFile(m_dir, "empty.bin", {});
        WriteFile(m_dir, "four-gib.bin", {}, uint64_t(4) << 30);
        QVERIFY(QDir(m_dir.path()).mkdir("sub"));
        WriteFile(m_dir, "sub/x.bin", "x");
    }
    void cleanupTestCase() { // the toolkit cannot remove names that are not UTF-8
        std::error_code ec;
        std::filesystem::remove_all(Path("round"), ec);
    }
    // The entry check itself has its own tests; here, that each entry shows its own verdict.
    void opening_data() {
        Columns<QString, QString, QString, QString>("primary", "secondary", "info1", "info2");
        const QString none, strNoFile = "No file";
        QTest::newRow("both empty") << none << none << strNoFile << strNoFile;
        QTest::newRow("secondary missing")
            << "a.bin" << QString("gone.bin") << none << "File not found";
        QTest::newRow("4 GiB sparse") << "four-gib.bin" << QString("a.bin") << none << none;
    }
    void opening() {
        const auto [primary, secondary, info1, info2] =
            Fetch<QString, QString, QString, QString>("primary", "secondary", "info1", "info2");
        CPathHistory first = History({"/old/p1", "/old/p2"}), second = History({"/old/s1"});
        CSelectFilesDlg dlg(nullptr, first, second, Path(primary), Path(secondary));
        QCOMPARE(Info(dlg, 113), info1);
        QCOMPARE(Info(dlg, 118), info2);
        QCOMPARE(Button(dlg, 1)->isEnabled(), info1.isEmpty() && info2.isEmpty());
        // The caller's texts replace the most recent paths, which stay in the lists.
        QCOMPARE(Combo(dlg, 111)->currentText(), Text(Path(primary)));
        QCOMPARE(Combo(dlg, 111)->count(), 2);
        QCOMPARE(Combo(dlg, 111)->itemText(1), "/old/p2");
        QCOMPARE(Combo(dlg, 116)->itemText(0), "/old/s1");
    }
    void typingChecksLaterThanPicking() {
        CPathHistory first,
            second = History(QStringList{m_dir.filePath("empty.bin"), m_dir.filePath("a.bin")});
        CSelectFilesDlg dlg(nullptr, first, second, Path("a.bin"), Path("b.bin"));
        QVERIFY(ShowActive(dlg));
        QComboBox* pCombo = Combo(dlg, 111);
        QPushButton* pOk = Button(dlg, 1);
        QVERIFY(pCombo->hasFocus() && pOk->isEnabled());
        QTest::keyClick(pCombo, Qt::Key_End);
        QTest::keyClick(pCombo, Qt::Key_X);
        QVERIFY(!pOk->isEnabled()); // at once, before any check
        QCOMPARE(Info(dlg, 113), QString());
        QTest::keyClick(pCombo, Qt::Key_Backspace);
        QVERIFY(TypeAndWait(dlg, pCombo, Qt::Key_X, "File not found"));

        // Each keystroke restarts the wait: the check of "a.binxy" must not come due and
        // leave OK off for the text as it is after Backspace.
        QTest::keyClick(pCombo, Qt::Key_Y);
        QTest::qWait(CSelectFilesDlg::kCheckDelay / 2);
        QTest::keyClick(pCombo, Qt::Key_Backspace);
        QTest::qWait(CSelectFilesDlg::kCheckDelay / 2);
        QVERIFY(!pOk->isEnabled());
        QVERIFY(TypeAndWait(dlg, pCombo, Qt::Key_Backspace, QString()));
        QVERIFY(pOk->isEnabled());

        // A choice from a list is examined at once ...
        QVERIFY(PickFromList(Combo(dlg, 116), 0));
        QCOMPARE(Info(dlg, 118), QString("File length is zero"));
        QVERIFY(!pOk->isEnabled());

        // ... while a typed entry keeps its earlier verdict until its own check comes due.
        QElapsedTimer sinceKey;
        QTest::keyClick(pCombo, Qt::Key_End);
        QTest::keyClick(pCombo, Qt::Key_X);
        sinceKey.start();
        QVERIFY(PickFromList(Combo(dlg, 116), 1));
        QCOMPARE(Combo(dlg, 116)->currentText(), m_dir.filePath("a.bin"));
        QCOMPARE(Info(dlg, 118), QString());
        QVERIFY(pOk->isEnabled());
        QCOMPARE(Info(dlg, 113), QString());
        QVERIFY2(sinceKey.elapsed() < CSelectFilesDlg::kCheckDelay,
                 "the choice took longer than the delay; the case was not tried");
        QTRY_COMPARE_WITH_TIMEOUT(Info(dlg, 113), QString("File not found"), 5000);
        QVERIFY(!pOk->isEnabled());
    }
    // Only a choice from the list is examined at once: the arrow keys start from the newest
    // entry; Enter or Tab after typing a listed name waits for the delayed check.
    void choicesFromTheList_data() {
        Columns<int, bool, int, bool>("entries", "typed", "key", "atOnce");
        QTest::newRow("Down, one entry") << 1 << false << int(Qt::Key_Down) << true;
        QTest::newRow("Down, two entries") << 2 << false << int(Qt::Key_Down) << true;
        QTest::newRow("Enter after a listed name") << 1 << true << int(Qt::Key_Return) << false;
        QTest::newRow("Tab after a listed name") << 2 << true << int(Qt::Key_Tab) << false;
    }
    void choicesFromTheList() {
        const auto [entries, typed, key, atOnce] =
            Fetch<int, bool, int, bool>("entries", "typed", "key", "atOnce");
        const QString strNewest = m_dir.filePath("a.bin");
        CPathHistory first = History(
                         QStringList{strNewest, m_dir.filePath("empty.bin")}.mid(0, entries)),
                     second;
        CSelectFilesDlg dlg(nullptr, first, second, "", Path("b.bin"));
        QVERIFY(ShowActive(dlg));
        QComboBox* pCombo = Combo(dlg, 111);
        QPushButton* pOk = Button(dlg, 1);
        if (typed)
            QTest::keyClicks(pCombo, strNewest);
        QTest::keyClick(pCombo, Qt::Key(key));
        QCOMPARE(pCombo->currentText(), strNewest);
        QCOMPARE(pOk->isEnabled(), atOnce);
        QVERIFY(dlg.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(pOk->isEnabled(), 5000);
    }
    // The chooser is given the entry's text and, for a name without a folder, the current
    // folder to start in; a second name chosen goes to the other entry.
    void browse_data() {
        Columns<int, QString, QStringList, QString, QString>("button", "text", "chosen", "primary",
                                                             "secondary");
        const QString a = "a.bin", b = "b.bin";
        QTest::newRow("two from the primary") << 112 << "" << QStringList{a, b} << a << b;
        QTest::newRow("two from the secondary") << 117 << a << QStringList{b, a} << a << b;
        QTest::newRow("one from the secondary")
            << 117 << m_dir.filePath("x") << QStringList{b} << QString() << b;
        QTest::newRow("cancelled") << 112 << "sub/x" << QStringList{} << "sub/x" << QString();
    }
    void browse() {
        const auto [button, text, chosen, primary, secondary] =
            Fetch<int, QString, QStringList, QString, QString>("button", "text", "chosen",
                                                               "primary", "secondary");
        const std::string strText = text.toStdString();
        CPathHistory first, second;
        CSelectFilesDlg dlg(nullptr, first, second, button == 112 ? strText : "",
                            button == 117 ? strText : "");
        int nCalls = 0;
        dlg.SetFileChooser(
            [&](QWidget* pOwner, const std::string& strDir, const std::string& strName) {
                ++nCalls;
                std::vector<std::string> names;
                const bool bBare = strText.find('/') == std::string::npos;
                if (pOwner == &dlg && strName == strText &&
                    strDir == (bBare ? std::filesystem::current_path().string() : ""))
                    for (const QString& strChosen : chosen)
                        names.push_back(Path(strChosen));
                return names;
            });
        QVERIFY(ShowActive(dlg));
        QTest::mouseClick(Button(dlg, button), Qt::LeftButton);
        QCOMPARE(nCalls, 1);
        const std::string strPrimary = chosen.isEmpty() ? primary.toStdString() : Path(primary);
        QCOMPARE(Combo(dlg, 111)->currentText(), Text(strPrimary));
        QCOMPARE(Combo(dlg, 116)->currentText(), Text(Path(secondary)));
        QCOMPARE(Button(dlg, 1)->isEnabled(), chosen.size() == 2);
        QCOMPARE(Info(dlg, 118).isEmpty(), !secondary.isEmpty());
        QVERIFY(Combo(dlg, button == 112 ? 111 : 116)->hasFocus());
    }
    void confirmingAddsToTheHistoriesAndCancelDoesNot() {
        for (bool bConfirm : {true, false}) {
            CPathHistory first = History({"/old/x", m_dir.filePath("a.bin")}),
                         second = History({"/old/s"});
            CSelectFilesDlg dlg(nullptr, first, second, Path("a.bin"), Path("b.bin"));
            dlg.SetFileChooser([&](QWidget*, const std::string&, const std::string&) {
                return std::vector<std::string>{Path("b.bin"), Path("a.bin")};
            });
            QTimer::singleShot(0, &dlg, [&] {
                if (!bConfirm)
                    QTest::mouseClick(Button(dlg, 112), Qt::LeftButton);
                QTest::mouseClick(Button(dlg, bConfirm ? 1 : 2), Qt::LeftButton);
            });
            QCOMPARE(dlg.exec(), bConfirm ? int(QDialog::Accepted) : int(QDialog::Rejected));
            const QString a = m_dir.filePath("a.bin"), b = m_dir.filePath("b.bin");
            QCOMPARE(first.GetEntries(),
                     StdList(bConfirm ? QStringList{a, "/old/x"} : QStringList{"/old/x", a}));
            QCOMPARE(second.GetEntries(),
                     StdList(bConfirm ? QStringList{b, "/old/s"} : QStringList{"/old/s"}));
            if (bConfirm)
                QCOMPARE(dlg.GetSecondaryPath(), Path("b.bin"));
        }
    }
    // A long name that is not UTF-8 goes in through the caller's text, out through OK and
    // the history, and back through the list.
    void namesSurviveTheRoundTrip() {
        std::string strPath = Path("round") + '/';
        while (strPath.size() + 250 < 4000)
            strPath += std::string(200, 'd') + '/';
        std::filesystem::create_directories(strPath);
        strPath += "caf\xE9 & \xFF\xC3";
        strPath.append(4000 - strPath.size(), 'n');
        QVERIFY(std::ofstream(strPath) << "x");

        CPathHistory first, second;
        CSelectFilesDlg dlg(nullptr, first, second, strPath, Path("b.bin"));
        QCOMPARE(Info(dlg, 113), QString());
        QVERIFY(ShowActive(dlg));
        QTest::mouseClick(Button(dlg, 1), Qt::LeftButton);
        QCOMPARE(dlg.GetPrimaryPath(), strPath);
        QCOMPARE(first.GetEntries().front(), strPath);

        CSelectFilesDlg again(nullptr, first, second, "", "");
        QVERIFY(ShowActive(again));
        QVERIFY(PickFromList(Combo(again, 111), 0));
        QCOMPARE(Info(again, 113), QString());
        QTest::mouseClick(Button(again, 1), Qt::LeftButton);
        QCOMPARE(again.GetPrimaryPath(), strPath);
    }
    void longTextsStayWhole() {
        const std::string strLong(40000, 'l');
        CPathHistory first = History({QString::fromStdString(strLong)}), none;
        CSelectFilesDlg plain(nullptr, none, none, "", "");
        CSelectFilesDlg dlg(nullptr, first, none, strLong, "");
        QVERIFY(ShowActive(plain) && ShowActive(dlg));
        // What the dialog asks for, not its size, which the screen caps.
        QCOMPARE(dlg.sizeHint(), plain.sizeHint());
        QComboBox* pCombo = Combo(dlg, 111);
        QTest::keyClick(pCombo, Qt::Key_End);
        QTest::keyClicks(pCombo, "/x");
        QCOMPARE(pCombo->currentText().size(), 40002);
    }
    void keysOfTheDialog() {
        CPathHistory first = History({m_dir.filePath("case.bin")}), second;
        CSelectFilesDlg dlg(nullptr, first, second, "", Path("b.bin"));
        QVERIFY(ShowActive(dlg));
        QVERIFY(Combo(dlg, 111)->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
        QVERIFY(Combo(dlg, 116)->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::AltModifier);
        QVERIFY(Combo(dlg, 111)->hasFocus());
        // Enter keeps the letter case typed, where a listed name differs only in case.
        QTest::keyClicks(Combo(dlg, 111), m_dir.filePath("CASE.bin"));
        QTRY_VERIFY_WITH_TIMEOUT(Button(dlg, 1)->isEnabled(), 5000);
        QTest::keyClick(Combo(dlg, 111), Qt::Key_Return);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.GetPrimaryPath(), Path("CASE.bin"));
    }
    // The real open-file dialog takes names typed into it, whether they exist or not, and
    // leaves the home folder empty. Each text is submitted in turn, with Enter or Open.
    void realFileDialog_data() {
        Columns<QStringList, bool, QString, QString, QString>("texts", "button", "primary",
                                                              "secondary", "info");
        const QString none;
        QTest::newRow("two, by Enter") << QStringList{"\"b.bin\" \"a.bin\""} << false << "b.bin"
                                       << "a.bin" << none;
        QTest::newRow("three, the third ignored")
            << QStringList{"\"a.bin\" \"case.bin\" \"empty.bin\""} << false << "a.bin"
            << "case.bin" << none;
        QTest::newRow("missing, by Enter")
            << QStringList{"\"gone.bin\" \"a.bin\""} << false << "gone.bin"
            << "a.bin"
            << "File not found";
        QTest::newRow("missing, by Open") << QStringList{"gone.bin"} << true << "gone.bin"
                                          << "b.bin"
                                          << "File not found";
        QTest::newRow("a folder is gone into") << QStringList{"sub", "x.bin"} << true << "sub/x.bin"
                                               << "b.bin" << none;
    }
    void realFileDialog() {
        const auto [texts, button, primary, secondary, info] =
            Fetch<QStringList, bool, QString, QString, QString>("texts", "button", "primary",
                                                                "secondary", "info");
        CPathHistory first, second;
        CSelectFilesDlg dlg(nullptr, first, second, "", Path("b.bin"));
        QVERIFY(ShowActive(dlg));
        qsizetype nSubmitted = 0;
        bool bComplained = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &dlg, [&] {
            QWidget* pModal = QApplication::activeModalWidget();
            if (auto* pBox = qobject_cast<QMessageBox*>(pModal)) {
                bComplained = true; // the toolkit's own "File not found"
                return pBox->reject();
            }
            auto* pFiles = qobject_cast<QFileDialog*>(pModal);
            if (!pFiles || !pFiles->isActiveWindow())
                return;
            if (nSubmitted == 0)
                pFiles->setDirectory(m_dir.path());
            if (nSubmitted == texts.size())
                return poll.stop(), pFiles->reject(); // still up after the last text
            auto* pName = pFiles->findChild<QLineEdit*>("fileNameEdit");
            // Typed where the user types: the toolkit rewrites the field with the names it
            // found in the folder only while the field has no focus.
            pName->setFocus();
            pName->setText(texts[nSubmitted++]);
            auto* pOpen = pFiles->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
            // Submitted once this look is over: a box it raises must not hold up the next.
            QTimer::singleShot(0, pFiles, [pName, pOpen, button = button] {
                if (button)
                    QTest::mouseClick(pOpen, Qt::LeftButton);
                else
                    QTest::keyClick(pName, Qt::Key_Return);
            });
        });
        poll.start(50);
        QTest::mouseClick(Button(dlg, 112), Qt::LeftButton);
        poll.stop();
        QVERIFY(!bComplained);
        QCOMPARE(nSubmitted, texts.size());
        QCOMPARE(Combo(dlg, 111)->currentText(), m_dir.filePath(primary));
        QCOMPARE(Combo(dlg, 116)->currentText(), m_dir.filePath(secondary));
        QCOMPARE(Info(dlg, 113), info);
        dlg.reject();
        QCOMPARE(QDir(m_strHome).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }
};

int main(int argc, char** argv) {
    // An empty home folder of its own, before the toolkit looks for one, so that whatever
    // it would store shows up there.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", QFile::encodeName(home.path()));
    for (const char* pszName :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qunsetenv(pszName);
    QApplication app(argc, argv);
    TestSelectFilesDlg test(home.path());
    return QTest::qExec(&test, argc, argv);
}

#include "tst_selectfilesdlg.moc"
