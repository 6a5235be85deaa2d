#include "app/appstate.h"
#include "app/mainwnd.h"
#include "tests/apputil.h"
#include "ui/selectfilesdlg.h"

#include <QAbstractButton>
#include <QMimeData>
#include <QtTest>

#include <cstdio>

namespace {

// Answers each Select-files dialog that comes up: notes its entries, then presses m_strButton.
class CDialogWatch : public QObject {
public:
    CDialogWatch() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* pDialog = qobject_cast<CSelectFilesDlg*>(QApplication::activeModalWidget());
            if (!pDialog)
                return;
            ++m_nSeen;
            m_strPrimary = pDialog->GetPrimaryPath();
            m_strSecondary = pDialog->GetSecondaryPath();
            // A disabled OK cancels, so that a wrong pre-fill fails the test instead of hanging it.
            auto* pButton = pDialog->findChild<QAbstractButton*>(m_strButton);
            if (!pButton || !pButton->isEnabled())
                pButton = pDialog->findChild<QAbstractButton*>("2");
            QTest::mouseClick(pButton, Qt::LeftButton);
        });
        m_timer.start(20);
    }
    QTimer m_timer;
    QString m_strButton = "2"; // Cancel
    int m_nSeen = 0;
    std::string m_strPrimary;
    std::string m_strSecondary;
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
    // Drags the URLs onto the window and drops them; returns whether each step was accepted.
    std::pair<bool, bool> Drop(const QList<QUrl>& urls) {
        QMimeData data;
        if (!urls.empty())
            data.setUrls(urls);
        else
            data.setText("not a file");
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
    void dropStartsTheComparison();
    void dropDuringARunDoesNothing();
};

void TestDrop::dropPrefillsTheDialog_data() {
    QTest::addColumn<QStringList>("urls");       // "@name": a file of that name in the folder
    QTest::addColumn<QByteArrayList>("prefill"); // the entries; empty: refused, no dialog
    const QByteArray strNotUtf8("\xff\xfe name.bin");
    QTest::newRow("one file") << QStringList{"@dropped 1"}
                              << QByteArrayList{"@dropped 1", "@earlier 2"};
    QTest::newRow("two files") << QStringList{"@dropped 1", "@dropped & <2>"}
                               << QByteArrayList{"@dropped 1", "@dropped & <2>"};
    QTest::newRow("name not UTF-8") << QStringList{"@" + QString::fromLatin1(strNotUtf8)}
                                    << QByteArrayList{"@" + strNotUtf8, "@earlier 2"};
    QTest::newRow("localhost") << QStringList{"file://localhost/etc/hostname"}
                               << QByteArrayList{"/etc/hostname", "@earlier 2"};
    QTest::newRow("three files") << QStringList{"@a", "@b", "@c"} << QByteArrayList{};
    QTest::newRow("web address") << QStringList{"https://example.com/a.bin"} << QByteArrayList{};
    QTest::newRow("a file and a web address")
        << QStringList{"@a", "https://example.com/a.bin"} << QByteArrayList{};
    QTest::newRow("another machine's file")
        << QStringList{"file://server/share/a.bin"} << QByteArrayList{};
    QTest::newRow("text, no file") << QStringList{} << QByteArrayList{};
}

void TestDrop::dropPrefillsTheDialog() {
    QFETCH(QStringList, urls);
    QFETCH(QByteArrayList, prefill);
    Fixture f;
    QVERIFY(f.bExposed);
    const std::string strFolder = f.dir.path().toStdString() + "/";
    QList<QUrl> list;
    for (const QString& strUrl : urls) {
        if (!strUrl.startsWith('@')) {
            list.append(QUrl(strUrl));
            continue;
        }
        // The name's bytes as the row gives them, Latin-1 standing for raw bytes.
        list.append(FileUrl(strFolder + strUrl.mid(1).toLatin1().toStdString()));
    }
    CDialogWatch watch;
    const std::string strEarlier1 = f.app.m_cmdline.m_strPath1;
    const std::string strEarlier2 = f.app.m_cmdline.m_strPath2;
    const auto [bEntered, bDropped] = f.Drop(list);
    QCOMPARE(bEntered, !prefill.empty());
    QCOMPARE(bDropped, !prefill.empty());
    if (prefill.empty()) {
        QTest::qWait(200);
        QCOMPARE(watch.m_nSeen, 0);
        return;
    }
    QVERIFY(QTest::qWaitFor([&] { return watch.m_nSeen == 1; }, 5000));
    auto expand = [&](const QByteArray& entry) {
        return entry.startsWith('@') ? strFolder + entry.mid(1).toStdString() : entry.toStdString();
    };
    QCOMPARE(watch.m_strPrimary, expand(prefill[0]));
    QCOMPARE(watch.m_strSecondary, expand(prefill[1]));
    // Cancelled: nothing changed, and the next start offers the earlier paths again.
    QCOMPARE(f.app.m_cmdline.m_strPath1, strEarlier1);
    QCOMPARE(f.app.m_cmdline.m_strPath2, strEarlier2);
    PostSelectFiles(&f.wnd);
    QVERIFY(QTest::qWaitFor([&] { return watch.m_nSeen == 2; }, 5000));
    QCOMPARE(watch.m_strPrimary, strEarlier1);
    QCOMPARE(watch.m_strSecondary, strEarlier2);
}

void TestDrop::dropStartsTheComparison() {
    Fixture f;
    QVERIFY(f.bExposed);
    // A name that is not UTF-8, through the real dialog into the comparison.
    const std::string strPath1 = f.dir.path().toStdString() + "/\xff\xfe 1";
    QCOMPARE(::rename(WriteFile(f.dir, "one", Pattern(70000)).c_str(), strPath1.c_str()), 0);
    const std::string strPath2 = WriteFile(f.dir, "two", Pattern(70000, 1));
    CDialogWatch watch;
    watch.m_strButton = "1"; // OK
    QVERIFY(f.Drop({FileUrl(strPath1), FileUrl(strPath2)}).second);
    QVERIFY(QTest::qWaitFor([&] { return watch.m_nSeen == 1; }, 5000));
    QVERIFY(QTest::qWaitFor(
        [&] { return f.wnd.GetMapView().GetGeometry().m_nTotalLength == 70000; }, 5000));
    QCOMPARE(f.app.m_cmdline.m_strPath1, strPath1);
    QCOMPARE(f.app.m_cmdline.m_strPath2, strPath2);
    QVERIFY(QTest::qWaitFor([&] { return !f.wnd.GetJob(); }, 60000));
    QVERIFY(f.wnd.GetMapView().GetDiffCells() > 0);
}

void TestDrop::dropDuringARunDoesNothing() {
    Fixture f;
    QVERIFY(f.bExposed);
    CGatedFileSystem gate(0);
    CInstalledFileSystem installed(&gate);
    f.app.m_cmdline.m_strPath1 = WriteFile(f.dir, "one", Pattern(5000));
    f.app.m_cmdline.m_strPath2 = WriteFile(f.dir, "two", Pattern(5000));
    CDialogWatch watch;
    watch.m_strButton = "1";
    PostSelectFiles(&f.wnd);
    QVERIFY(QTest::qWaitFor([&] { return f.wnd.GetJob() != nullptr; }, 5000));
    const std::string strOther = WriteFile(f.dir, "other", "z");
    QCOMPARE(f.Drop({FileUrl(strOther)}), std::make_pair(false, false));
    QTest::qWait(200);
    QCOMPARE(watch.m_nSeen, 1);
    gate.Release();
    QVERIFY(QTest::qWaitFor([&] { return !f.wnd.GetJob(); }, 60000));
    QCOMPARE(watch.m_nSeen, 1);
    QCOMPARE(f.app.m_cmdline.m_strPath1, f.dir.filePath("one").toStdString());
}

QTEST_MAIN(TestDrop)
#include "tst_drop.moc"
