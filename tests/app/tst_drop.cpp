#include "app/appstate.h"
#include "app/mainwnd.h"
#include "tests/apputil.h"
#include "ui/selectfilesdlg.h"

#include <QAbstractButton>
#include <QMimeData>
#include <QtTest>

namespace {

// Answers each Select-files dialog: notes its entries, then presses m_strButton, or Cancel when
// that is disabled, so that a wrong pre-fill fails the test instead of hanging it.
class CDialogWatch : public QObject {
public:
    explicit CDialogWatch(const QString& strButton) {
        connect(&m_timer, &QTimer::timeout, this, [this, strButton] {
            auto* pDialog = qobject_cast<CSelectFilesDlg*>(QApplication::activeModalWidget());
            if (!pDialog)
                return;
            ++m_nSeen;
            m_entries = {pDialog->GetPrimaryPath(), pDialog->GetSecondaryPath()};
            auto* pButton = pDialog->findChild<QAbstractButton*>(strButton);
            QTest::mouseClick(pButton->isEnabled() ? pButton
                                                   : pDialog->findChild<QAbstractButton*>("2"),
                              Qt::LeftButton);
        });
        m_timer.start(20);
    }
    QTimer m_timer;
    int m_nSeen = 0;
    std::vector<std::string> m_entries;
};

// The file URL of a path given as bytes, every byte that is not plain ASCII percent-encoded.
QUrl FileUrl(const std::string& strPath) {
    return QUrl::fromEncoded("file://" + QByteArray::fromStdString(strPath).toPercentEncoding("/"));
}

struct Fixture {
    Fixture() {
        wnd.resize(800, 600);
        wnd.show();
        bExposed = QTest::qWaitForWindowExposed(&wnd);
        app.m_cmdline.m_strPath1 = WriteFile(dir, "earlier 1", "x");
        app.m_cmdline.m_strPath2 = WriteFile(dir, "earlier 2", "y");
    }
    // Drags the URLs (none: a text) onto the window and drops them; whether each was accepted.
    std::pair<bool, bool> Drop(const QList<QUrl>& urls) {
        QMimeData data;
        urls.empty() ? data.setText("not a file") : data.setUrls(urls);
        const QPoint pt(wnd.width() / 2, wnd.height() / 2);
        QDragEnterEvent enter(pt, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&wnd, &enter);
        QDropEvent drop(pt, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        drop.ignore();
        QCoreApplication::sendEvent(&wnd, &drop);
        return {enter.isAccepted(), drop.isAccepted()};
    }

    QTemporaryDir dir;
    CTestScreen screen;
    CAppState app;
    CMainWnd wnd{app, screen};
    bool bExposed = false;
};

} // namespace

class TestDrop : public QObject {
    Q_OBJECT

private slots:
    void dropPrefillsTheDialog_data();
    void dropPrefillsTheDialog();
    void dropDuringARunDoesNothing();
};

void TestDrop::dropPrefillsTheDialog_data() {
    // urls: "@name" is a file of that name in the folder (Latin-1 standing for raw bytes);
    // prefill: the dialog's entries, empty when the drop is refused; confirm: OK, not Cancel.
    Columns<QStringList, QByteArrayList, bool>("urls", "prefill", "confirm");
    const QByteArray strNotUtf8("\xff\xfe name.bin");
    const QString strNotUtf8Url = "@" + QString::fromLatin1(strNotUtf8);
    QTest::newRow("one file") << QStringList{"@dropped 1"}
                              << QByteArrayList{"@dropped 1", "@earlier 2"} << false;
    QTest::newRow("two files") << QStringList{"@dropped 1", "@dropped & <2>"}
                               << QByteArrayList{"@dropped 1", "@dropped & <2>"} << false;
    QTest::newRow("name not UTF-8")
        << QStringList{strNotUtf8Url} << QByteArrayList{"@" + strNotUtf8, "@earlier 2"} << false;
    QTest::newRow("name not UTF-8, compared")
        << QStringList{strNotUtf8Url, "@two"} << QByteArrayList{"@" + strNotUtf8, "@two"} << true;
    QTest::newRow("localhost") << QStringList{"file://localhost/etc/hostname"}
                               << QByteArrayList{"/etc/hostname", "@earlier 2"} << false;
    for (const QStringList& refused :
         {QStringList{"@a", "@b", "@c"}, QStringList{"https://example.com/a.bin"},
          QStringList{"@a", "https://example.com/a.bin"}, QStringList{"file://server/share/a"},
          QStringList{}})
        QTest::addRow("refused: %s", qPrintable(refused.join(", ")))
            << refused << QByteArrayList{} << false;
}

void TestDrop::dropPrefillsTheDialog() {
    const auto [urls, prefill, bConfirm] =
        Fetch<QStringList, QByteArrayList, bool>("urls", "prefill", "confirm");
    Fixture f;
    QVERIFY(f.bExposed);
    auto expand = [&](const QByteArray& entry) {
        return entry.startsWith('@') ? f.dir.path().toStdString() + "/" + entry.mid(1).toStdString()
                                     : entry.toStdString();
    };
    QList<QUrl> list;
    unsigned nSeed = 0;
    for (const QString& strUrl : urls) {
        const std::string strPath = expand(strUrl.toLatin1());
        if (strUrl.startsWith('@')) { // files that differ, for the row that runs them
            const std::string strTmp = WriteFile(f.dir, "tmp", Pattern(70000, nSeed++));
            QCOMPARE(::rename(strTmp.c_str(), strPath.c_str()), 0);
        }
        list.append(strUrl.startsWith('@') ? FileUrl(strPath) : QUrl(strUrl));
    }
    CDialogWatch watch(bConfirm ? "1" : "2");
    const std::vector<std::string> earlier = {f.app.m_cmdline.m_strPath1,
                                              f.app.m_cmdline.m_strPath2};
    QCOMPARE(f.Drop(list), std::make_pair(!prefill.empty(), !prefill.empty()));
    if (prefill.empty()) {
        QTest::qWait(200);
        QCOMPARE(watch.m_nSeen, 0);
        return;
    }
    QVERIFY(QTest::qWaitFor([&] { return watch.m_nSeen == 1; }, 5000));
    QCOMPARE(watch.m_entries, (std::vector{expand(prefill[0]), expand(prefill[1])}));
    if (bConfirm) {
        QVERIFY(QTest::qWaitFor([&] { return !f.wnd.GetJob(); }, 60000));
        QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, 70000u);
        QCOMPARE((std::vector{f.app.m_cmdline.m_strPath1, f.app.m_cmdline.m_strPath2}),
                 watch.m_entries);
        QVERIFY(f.wnd.GetMapView().GetDiffCells() > 0);
        return;
    }
    // Cancelled: nothing changed, and the next start offers the earlier paths again.
    QCOMPARE((std::vector{f.app.m_cmdline.m_strPath1, f.app.m_cmdline.m_strPath2}), earlier);
    PostSelectFiles(&f.wnd);
    QVERIFY(QTest::qWaitFor([&] { return watch.m_nSeen == 2; }, 5000));
    QCOMPARE(watch.m_entries, earlier);
}

void TestDrop::dropDuringARunDoesNothing() {
    Fixture f;
    QVERIFY(f.bExposed);
    CGatedFileSystem gate(0);
    CInstalledFileSystem installed(&gate);
    f.app.m_cmdline.m_strPath1 = WriteFile(f.dir, "one", Pattern(5000));
    f.app.m_cmdline.m_strPath2 = WriteFile(f.dir, "two", Pattern(5000));
    CDialogWatch watch("1");
    PostSelectFiles(&f.wnd);
    QVERIFY(QTest::qWaitFor([&] { return f.wnd.GetJob() != nullptr; }, 5000));
    QCOMPARE(f.Drop({FileUrl(WriteFile(f.dir, "other", "z"))}), std::make_pair(false, false));
    gate.Release();
    QVERIFY(QTest::qWaitFor([&] { return !f.wnd.GetJob(); }, 60000));
    QTest::qWait(200);
    QCOMPARE(watch.m_nSeen, 1);
    QCOMPARE(f.app.m_cmdline.m_strPath1, f.dir.filePath("one").toStdString());
}

QTEST_MAIN(TestDrop)
#include "tst_drop.moc"
