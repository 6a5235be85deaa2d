#include "ui/selectfilesdlg.h"

#include "tests/testutil.h"
#include "ui/pathhistory.h"
#include "ui/pathtext.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <fstream>

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

QStringList Items(QComboBox* pCombo) {
    QStringList items;
    for (int i = 0; i < pCombo->count(); ++i)
        items << pCombo->itemText(i);
    return items;
}

QStringList Entries(const CPathHistory& history) {
    QStringList entries;
    for (const std::string& strPath : history.GetEntries())
        entries << QString::fromStdString(strPath);
    return entries;
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
    dlg.show();
    return QTest::qWaitForWindowActive(&dlg);
}
} // namespace

class TestSelectFilesDlg : public QObject {
    Q_OBJECT

public:
    explicit TestSelectFilesDlg(const QString& strHome) : m_strHome(strHome) {}

private slots:
    void initTestCase();
    void cleanupTestCase();
    void opening_data();
    void opening();
    void typingChecksAfterTheLastKeystroke();
    void pickingFromTheOtherListWhileTyping();
    void browse_data();
    void browse();
    void browseStartFolder_data();
    void browseStartFolder();
    void confirmingAddsToTheHistories_data();
    void confirmingAddsToTheHistories();
    void cancelChangesNothing();
    void namesSurviveTheRoundTrip_data();
    void namesSurviveTheRoundTrip();
    void longTextsStayWhole();
    void enterKeepsTheTypedLetterCase();
    void accessKeysMoveTheFocus();
    void fileDialogWritesNothing();

private:
    // A fixture's full path; "" stays empty.
    std::string Path(const QString& strName) const {
        return strName.isEmpty() ? std::string()
                                 : QFile::encodeName(m_dir.filePath(strName)).toStdString();
    }

    QString m_strHome;
    QTemporaryDir m_dir;
};

void TestSelectFilesDlg::initTestCase() {
    QVERIFY(m_dir.isValid());
    testutil::WriteFile(m_dir, "a.bin", "a");
    testutil::WriteFile(m_dir, "b.bin", "b");
    testutil::WriteFile(m_dir, "case.bin", "c");
    testutil::WriteFile(m_dir, "CASE.bin", "C");
    testutil::WriteFile(m_dir, "empty.bin", {});
    testutil::WriteSparse(m_dir, "four-gib.bin", uint64_t(4) << 30);
    QVERIFY(QDir(m_dir.path()).mkdir("sub"));
}

void TestSelectFilesDlg::cleanupTestCase() {
    // The toolkit cannot name what is not UTF-8, so it could not remove those files.
    std::error_code ec;
    std::filesystem::remove_all(Path("round"), ec);
}

void TestSelectFilesDlg::opening_data() {
    QTest::addColumn<QString>("primary");
    QTest::addColumn<QString>("secondary");
    QTest::addColumn<QString>("primaryInfo");
    QTest::addColumn<QString>("secondaryInfo");
    QTest::addColumn<bool>("ok");
    const QString zero = "File length is zero";
    QTest::newRow("both empty") << ""
                                << ""
                                << "No file"
                                << "No file" << false;
    QTest::newRow("directory") << "a.bin"
                               << "sub"
                               << "" << zero << false;
    QTest::newRow("empty file") << "empty.bin"
                                << "b.bin" << zero << "" << false;
    QTest::newRow("missing") << "a.bin"
                             << "gone.bin"
                             << ""
                             << "File not found" << false;
    QTest::newRow("4 GiB sparse") << "four-gib.bin"
                                  << "a.bin"
                                  << ""
                                  << "" << true;
}

void TestSelectFilesDlg::opening() {
    QFETCH(QString, primary);
    QFETCH(QString, secondary);
    QFETCH(QString, primaryInfo);
    QFETCH(QString, secondaryInfo);
    QFETCH(bool, ok);
    CPathHistory first = History({"/old/p1", "/old/p2"}), second = History({"/old/s1"});
    CSelectFilesDlg dlg(nullptr, first, second, Path(primary), Path(secondary));
    QCOMPARE(Info(dlg, 113), primaryInfo);
    QCOMPARE(Info(dlg, 118), secondaryInfo);
    QCOMPARE(Button(dlg, 1)->isEnabled(), ok);
    // The caller's texts replace the most recent paths, which stay in the lists.
    QCOMPARE(Combo(dlg, 111)->currentText(), Text(Path(primary)));
    QCOMPARE(Combo(dlg, 116)->currentText(), Text(Path(secondary)));
    QCOMPARE(Items(Combo(dlg, 111)), QStringList({"/old/p1", "/old/p2"}));
    QCOMPARE(Items(Combo(dlg, 116)), QStringList({"/old/s1"}));
}

void TestSelectFilesDlg::typingChecksAfterTheLastKeystroke() {
    CPathHistory first, second;
    CSelectFilesDlg dlg(nullptr, first, second, Path("a.bin"), Path("b.bin"));
    QVERIFY(ShowActive(dlg));
    QComboBox* pCombo = Combo(dlg, 111);
    QPushButton* pOk = Button(dlg, 1);
    QVERIFY(pCombo->hasFocus());
    QVERIFY(pOk->isEnabled());
    QTest::keyClick(pCombo, Qt::Key_End);

    QElapsedTimer sinceKey;
    QTest::keyClick(pCombo, Qt::Key_X);
    sinceKey.start();
    QVERIFY(!pOk->isEnabled()); // at once, before any check
    QCOMPARE(Info(dlg, 113), QString());
    QTRY_COMPARE_WITH_TIMEOUT(Info(dlg, 113), QString("File not found"), 5000);
    QVERIFY2(sinceKey.elapsed() >= CSelectFilesDlg::kCheckDelay - 20,
             qPrintable(QString::number(sinceKey.elapsed())));

    // Each keystroke restarts the wait: the check of "a.binx" must not come due and enable
    // OK for the text as it is after Backspace.
    QTest::keyClick(pCombo, Qt::Key_Y);
    QTest::qWait(CSelectFilesDlg::kCheckDelay / 2);
    QTest::keyClick(pCombo, Qt::Key_Backspace);
    QTest::keyClick(pCombo, Qt::Key_Backspace);
    sinceKey.start();
    QTest::qWait(CSelectFilesDlg::kCheckDelay / 2);
    QVERIFY(!pOk->isEnabled());
    QCOMPARE(Info(dlg, 113), QString("File not found"));
    QTRY_VERIFY_WITH_TIMEOUT(pOk->isEnabled(), 5000);
    QVERIFY2(sinceKey.elapsed() >= CSelectFilesDlg::kCheckDelay - 20,
             qPrintable(QString::number(sinceKey.elapsed())));
    QCOMPARE(Info(dlg, 113), QString());
}

void TestSelectFilesDlg::pickingFromTheOtherListWhileTyping() {
    CPathHistory first,
        second = History(QStringList{m_dir.filePath("empty.bin"), m_dir.filePath("a.bin")});
    CSelectFilesDlg dlg(nullptr, first, second, Path("a.bin"), Path("b.bin"));
    QVERIFY(ShowActive(dlg));
    QPushButton* pOk = Button(dlg, 1);
    // A choice from a list is examined at once ...
    QVERIFY(PickFromList(Combo(dlg, 116), 0));
    QCOMPARE(Info(dlg, 118), QString("File length is zero"));
    QVERIFY(!pOk->isEnabled());

    // ... while a typed entry keeps its earlier verdict until its own check comes due.
    QElapsedTimer sinceKey;
    QTest::keyClick(Combo(dlg, 111), Qt::Key_End);
    QTest::keyClick(Combo(dlg, 111), Qt::Key_X);
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

void TestSelectFilesDlg::browse_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QString>("primary");
    QTest::addColumn<QString>("secondary");
    QTest::addColumn<bool>("ok");
    QTest::newRow("two from the primary") << 112 << QStringList{"a.bin", "b.bin"} << "a.bin"
                                          << "b.bin" << true;
    QTest::newRow("third ignored") << 112 << QStringList{"b.bin", "a.bin", "empty.bin"} << "b.bin"
                                   << "a.bin" << true;
    QTest::newRow("two from the secondary") << 117 << QStringList{"b.bin", "a.bin"} << "a.bin"
                                            << "b.bin" << true;
    QTest::newRow("one from the secondary") << 117 << QStringList{"b.bin"} << ""
                                            << "b.bin" << false;
    QTest::newRow("cancelled") << 112 << QStringList{} << ""
                               << "" << false;
}

void TestSelectFilesDlg::browse() {
    QFETCH(int, button);
    QFETCH(QStringList, chosen);
    QFETCH(QString, primary);
    QFETCH(QString, secondary);
    QFETCH(bool, ok);
    CPathHistory first, second;
    CSelectFilesDlg dlg(nullptr, first, second, "", "");
    int nCalls = 0;
    dlg.SetFileChooser([&](QWidget* pOwner, const std::string&, const std::string&) {
        ++nCalls;
        std::vector<std::string> names;
        if (pOwner == &dlg) {
            for (const QString& strName : chosen)
                names.push_back(Path(strName));
        }
        return names;
    });
    QVERIFY(ShowActive(dlg));
    QTest::mouseClick(Button(dlg, button), Qt::LeftButton);
    QCOMPARE(nCalls, 1);
    QCOMPARE(Combo(dlg, 111)->currentText(), Text(Path(primary)));
    QCOMPARE(Combo(dlg, 116)->currentText(), Text(Path(secondary)));
    QCOMPARE(Info(dlg, 113).isEmpty(), !primary.isEmpty());
    QCOMPARE(Info(dlg, 118).isEmpty(), !secondary.isEmpty());
    QCOMPARE(Button(dlg, 1)->isEnabled(), ok);
    QVERIFY(Combo(dlg, button == 112 ? 111 : 116)->hasFocus());
}

void TestSelectFilesDlg::browseStartFolder_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("inCurrentDir");
    QTest::newRow("empty") << "" << true;
    QTest::newRow("bare name") << "a.bin" << true;
    QTest::newRow("relative path") << "sub/a.bin" << false;
    QTest::newRow("full path") << m_dir.filePath("a.bin") << false;
}

void TestSelectFilesDlg::browseStartFolder() {
    QFETCH(QString, text);
    QFETCH(bool, inCurrentDir);
    CPathHistory first, second;
    CSelectFilesDlg dlg(nullptr, first, second, "", text.toStdString());
    std::string strDir = "unset", strName;
    dlg.SetFileChooser([&](QWidget*, const std::string& strStartDir, const std::string& strText) {
        strDir = strStartDir;
        strName = strText;
        return std::vector<std::string>();
    });
    QVERIFY(ShowActive(dlg));
    QTest::mouseClick(Button(dlg, 117), Qt::LeftButton);
    QCOMPARE(QString::fromStdString(strName), text);
    QCOMPARE(QString::fromStdString(strDir),
             inCurrentDir ? QString::fromStdString(std::filesystem::current_path().string())
                          : QString());
}

void TestSelectFilesDlg::confirmingAddsToTheHistories_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    const QString a = m_dir.filePath("a.bin");
    QStringList sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen << QString("/old/p%1").arg(i);
    QTest::newRow("new path") << QStringList{"/old/x"} << QStringList{a, "/old/x"};
    QTest::newRow("moves to the front")
        << QStringList{"/old/x", a, "/old/y"} << QStringList{a, "/old/x", "/old/y"};
    QTest::newRow("already first") << QStringList{a, "/old/x"} << QStringList{a, "/old/x"};
    QTest::newRow("oldest dropped at 16") << sixteen << QStringList{a} + sixteen.mid(0, 15);
}

void TestSelectFilesDlg::confirmingAddsToTheHistories() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    CPathHistory first = History(before), second = History({"/old/s"});
    CSelectFilesDlg dlg(nullptr, first, second, Path("a.bin"), Path("b.bin"));
    QVERIFY(ShowActive(dlg));
    QTest::mouseClick(Button(dlg, 1), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(Entries(first), after);
    QCOMPARE(Entries(second), QStringList({m_dir.filePath("b.bin"), "/old/s"}));
    QCOMPARE(dlg.GetPrimaryPath(), Path("a.bin"));
    QCOMPARE(dlg.GetSecondaryPath(), Path("b.bin"));
}

void TestSelectFilesDlg::cancelChangesNothing() {
    CPathHistory first = History({"/old/p"}), second = History({"/old/s"});
    CSelectFilesDlg dlg(nullptr, first, second, Path("a.bin"), Path("b.bin"));
    dlg.SetFileChooser([&](QWidget*, const std::string&, const std::string&) {
        return std::vector<std::string>{Path("b.bin"), Path("a.bin")};
    });
    QTimer::singleShot(0, &dlg, [&] {
        QTest::mouseClick(Button(dlg, 112), Qt::LeftButton);
        QTest::keyClicks(Combo(dlg, 116), "x");
        QTest::mouseClick(Button(dlg, 2), Qt::LeftButton);
    });
    QCOMPARE(dlg.exec(), int(QDialog::Rejected));
    QCOMPARE(Entries(first), QStringList{"/old/p"});
    QCOMPARE(Entries(second), QStringList{"/old/s"});
}

void TestSelectFilesDlg::namesSurviveTheRoundTrip_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("length"); // of the whole path when the name is to be padded
    QTest::newRow("blanks, & and markup") << QByteArray("a b & <b>bold.bin") << 0;
    QTest::newRow("not UTF-8") << QByteArray("caf\xE9 \xFF\xC3.bin") << 0;
    QTest::newRow("4,000 bytes") << QByteArray("\xE9") << 4000;
}

void TestSelectFilesDlg::namesSurviveTheRoundTrip() {
    QFETCH(QByteArray, name);
    QFETCH(int, length);
    std::string strPath = Path("round") + '/';
    while (length > 0 && int(strPath.size()) + 250 < length)
        strPath += std::string(200, 'd') + '/';
    std::filesystem::create_directories(strPath);
    strPath += name.toStdString();
    if (length > 0)
        strPath.append(size_t(length) - strPath.size(), 'n');
    QVERIFY(std::ofstream(strPath) << "x");

    // In through the caller's text, out through OK and the history ...
    CPathHistory first, second;
    CSelectFilesDlg dlg(nullptr, first, second, strPath, Path("b.bin"));
    QByteArray bytes = QByteArray::fromStdString(strPath);
    if (QString::fromUtf8(bytes).toUtf8() == bytes) // shown literally
        QCOMPARE(Combo(dlg, 111)->currentText(), QString::fromUtf8(bytes));
    QCOMPARE(Info(dlg, 113), QString());
    QVERIFY(ShowActive(dlg));
    QTest::mouseClick(Button(dlg, 1), Qt::LeftButton);
    QCOMPARE(dlg.GetPrimaryPath(), strPath);
    QCOMPARE(first.GetEntries().front(), strPath);

    // ... and back through the list.
    CSelectFilesDlg again(nullptr, first, second, "", "");
    QVERIFY(ShowActive(again));
    QVERIFY(PickFromList(Combo(again, 111), 0));
    QCOMPARE(Info(again, 113), QString());
    QTest::mouseClick(Button(again, 1), Qt::LeftButton);
    QCOMPARE(again.GetPrimaryPath(), strPath);
}

void TestSelectFilesDlg::longTextsStayWhole() {
    const std::string strLong(40000, 'l');
    CPathHistory first = History({QString::fromStdString(strLong)}), second;
    CPathHistory none;
    CSelectFilesDlg plain(nullptr, none, none, "", "");
    CSelectFilesDlg dlg(nullptr, first, second, strLong, "");
    QVERIFY(ShowActive(plain));
    QVERIFY(ShowActive(dlg));
    // What the dialog asks for, not its size, which the screen caps.
    QCOMPARE(dlg.sizeHint(), plain.sizeHint());
    QComboBox* pCombo = Combo(dlg, 111);
    QCOMPARE(pCombo->currentText().size(), 40000);
    QTest::keyClick(pCombo, Qt::Key_End);
    QTest::keyClicks(pCombo, "/x");
    QCOMPARE(pCombo->currentText().size(), 40002);
}

void TestSelectFilesDlg::enterKeepsTheTypedLetterCase() {
    CPathHistory first = History({m_dir.filePath("case.bin")}), second;
    CSelectFilesDlg dlg(nullptr, first, second, "", Path("b.bin"));
    QVERIFY(ShowActive(dlg));
    QTest::keyClicks(Combo(dlg, 111), m_dir.filePath("CASE.bin"));
    QTRY_VERIFY_WITH_TIMEOUT(Button(dlg, 1)->isEnabled(), 5000);
    QTest::keyClick(Combo(dlg, 111), Qt::Key_Return);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.GetPrimaryPath(), Path("CASE.bin"));
}

void TestSelectFilesDlg::accessKeysMoveTheFocus() {
    CPathHistory first, second;
    CSelectFilesDlg dlg(nullptr, first, second, "", "");
    QVERIFY(ShowActive(dlg));
    QVERIFY(Combo(dlg, 111)->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    QVERIFY(Combo(dlg, 116)->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::AltModifier);
    QVERIFY(Combo(dlg, 111)->hasFocus());
}

// The real open-file dialog, chosen from with the keyboard, leaves the home folder empty.
void TestSelectFilesDlg::fileDialogWritesNothing() {
    CPathHistory first, second;
    CSelectFilesDlg dlg(nullptr, first, second, "", Path("b.bin"));
    QVERIFY(ShowActive(dlg));
    bool bSeen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &dlg, [&] {
        auto* pFiles = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!pFiles || !pFiles->isVisible())
            return;
        poll.stop();
        bSeen = true;
        pFiles->setDirectory(m_dir.path());
        pFiles->findChild<QLineEdit*>("fileNameEdit")->setText("\"b.bin\" \"a.bin\"");
        QTest::keyClick(pFiles->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
    });
    poll.start(50);
    QTest::mouseClick(Button(dlg, 112), Qt::LeftButton);
    QVERIFY(bSeen);
    QCOMPARE(Combo(dlg, 111)->currentText(), m_dir.filePath("b.bin"));
    QCOMPARE(Combo(dlg, 116)->currentText(), m_dir.filePath("a.bin"));
    QVERIFY(Button(dlg, 1)->isEnabled());
    dlg.reject();
    QCOMPARE(QDir(m_strHome).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

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
