// quillet-map's outputs for scripts (--quiet, --first, --range, --json) on pairs of files made
// here, run in this process so that the reads can be counted.
#include "cli/mapcli.h"
#include "engine/inputfile.h"
#include "tests/testutil.h"
#include "ui/pathtext.h"
#include "view/hexdump.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <sstream>

using namespace testutil;

namespace {
struct CRun {
    int nStatus = -1;
    QString strOut;
    QString strErr;
};

CRun Run(const QStringList& args) {
    std::ostringstream out;
    std::ostringstream err;
    CRun run;
    run.nStatus = RunMap(StdList(args), out, err, false);
    run.strOut = QString::fromStdString(out.str());
    run.strErr = QString::fromStdString(err.str());
    return run;
}

QString Summary(int nBlocks, int nEqual, int nDifferent, int nLengthDiffers) {
    return QString("blocks=%1 block_size=4096 equal=%2 different=%3 length_differs=%4 "
                   "read_error=0\n")
        .arg(nBlocks)
        .arg(nEqual)
        .arg(nDifferent)
        .arg(nLengthDiffers);
}

QString RunLine(const char* pszState, qulonglong nFirst, qulonglong nLast) {
    return QString::asprintf("%s 0x%016llX 0x%016llX\n", pszState, nFirst, nLast);
}

QString First(const char* pszState, qulonglong nAt) {
    return QString::asprintf("%s %llu 0x%016llX\n", pszState, nAt, nAt);
}

// The text report that a JSON document tells.
QString TextOf(const QJsonObject& json) {
    const QJsonObject counts = json["counts"].toObject();
    QString strText = QString("blocks=%1 block_size=%2 equal=%3 different=%4 length_differs=%5 "
                              "read_error=%6\n")
                          .arg(json["blocks"].toInteger())
                          .arg(json["block_size"].toInteger())
                          .arg(counts["equal"].toInteger())
                          .arg(counts["different"].toInteger())
                          .arg(counts["length_differs"].toInteger())
                          .arg(counts["read_error"].toInteger());
    for (const QJsonValue& run : json["runs"].toArray())
        strText +=
            RunLine(run["state"].toString().toUtf8().constData(),
                    qulonglong(run["first"].toInteger()), qulonglong(run["last"].toInteger()));
    return strText;
}

constexpr qulonglong k4GiB = 1ull << 32;
} // namespace

class TestMapOutput : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QMap<QString, QStringList> m_pairs; // "--" and the two files of each pair

private slots:
    void initTestCase() {
        const QByteArray bytes = Pattern(10000);
        auto flipped = [&bytes](int nAt) {
            QByteArray changed = bytes;
            changed[nAt] = char(~changed[nAt]);
            return changed;
        };
        auto pair = [this](const char* pszName, const std::string& strPath1,
                           const std::string& strPath2) {
            m_pairs[pszName] = QStringList{"--", QString::fromStdString(strPath1),
                                           QString::fromStdString(strPath2)};
        };
        const std::string strBase = WriteFile(m_dir, "base", bytes);
        pair("equal", strBase, WriteFile(m_dir, "same", bytes));
        pair("first", strBase, WriteFile(m_dir, "first byte", flipped(0)));
        pair("last", strBase, WriteFile(m_dir, "last byte", flipped(9999)));
        pair("length", strBase, WriteFile(m_dir, "longer", Pattern(12000)));
        pair("missing", strBase, m_dir.filePath("missing \"1\"").toStdString());
        pair("empty", WriteFile(m_dir, "empty 1", {}), WriteFile(m_dir, "empty 2", {}));
        // Only parts of these are compared: reading 4 GiB of holes takes long on a busy machine.
        pair("big", WriteSparse(m_dir, "big 1", k4GiB + 8192),
             WriteSparse(m_dir, "big 2", k4GiB + 8192, k4GiB + 100, "\x01"));
    }

    // Each output on each kind of pair: status, standard output and standard error.
    void outputs_data() {
        Columns<QString, QStringList, int, QString, QString>("pair", "args", "status", "out",
                                                             "err");
        const QStringList q{"--quiet"};
        QTest::newRow("quiet, equal") << "equal" << q << 0 << ""
                                      << "";
        QTest::newRow("quiet, first byte") << "first" << q << 1 << ""
                                           << "";
        QTest::newRow("quiet, last byte") << "last" << q << 1 << ""
                                          << "";
        QTest::newRow("quiet, length") << "length" << q << 1 << ""
                                       << "";
        QTest::newRow("quiet, empty") << "empty" << QStringList{"-s"} << 0 << ""
                                      << "";
        QTest::newRow("quiet, above 4 GiB")
            << "big" << QStringList{"-s", "--range=0x100000000:0x1000000FF"} << 1 << ""
            << "";
        QTest::newRow("quiet, equal up to the difference above 4 GiB")
            << "big" << QStringList{"-s", "--range=0x100000000:0x100000063"} << 0 << ""
            << "";
        QTest::newRow("quiet, lengths differ only past the range")
            << "length" << QStringList{"-s", "--range=0:9999"} << 0 << ""
            << "";
        QTest::newRow("quiet, lengths differ inside the range")
            << "length" << QStringList{"-s", "--range=0:10000"} << 1 << ""
            << "";

        const QStringList f{"--first"};
        QTest::newRow("first, equal") << "equal" << f << 0 << ""
                                      << "";
        QTest::newRow("first, first byte") << "first" << f << 1 << First("different", 0) << "";
        QTest::newRow("first, last byte") << "last" << f << 1 << First("different", 9999) << "";
        QTest::newRow("first, last byte in 1-byte blocks")
            << "last" << QStringList{"--first", "-b1"} << 1 << First("different", 9999) << "";
        QTest::newRow("first, length")
            << "length" << f << 1 << First("length-differs", 10000) << "";
        QTest::newRow("first, empty") << "empty" << f << 0 << ""
                                      << "";
        QTest::newRow("first, above 4 GiB")
            << "big" << QStringList{"--first", "--range=0xFFFFF000:0x100001FFF"} << 1
            << First("different", k4GiB + 100) << "";
        QTest::newRow("first, length in a range")
            << "length" << QStringList{"--range=9000:11999", "--first"} << 1
            << First("length-differs", 10000) << "";

        const QStringList r{"-b", "4096", "--range"};
        QTest::newRow("range, equal")
            << "equal" << r + QStringList{"0:9999"} << 0 << Summary(3, 3, 0, 0) << "";
        QTest::newRow("range, blocks start at its first byte")
            << "last" << r + QStringList{"1:9999"} << 1
            << Summary(3, 2, 1, 0) + RunLine("different", 0x2001, 0x270F) << "";
        QTest::newRow("range, first byte left out")
            << "first" << r + QStringList{"1:9999"} << 0 << Summary(3, 3, 0, 0) << "";
        QTest::newRow("range past the longer end")
            << "length" << r + QStringList{"8192:0xFFFFFFFF"} << 1
            << Summary(1, 0, 0, 1) + RunLine("length-differs", 0x2000, 0x2EDF) << "";
        QTest::newRow("range above 4 GiB")
            << "big" << r + QStringList{"0x100000000:0x100001FFF"} << 1
            << Summary(2, 1, 1, 0) + RunLine("different", k4GiB, k4GiB + 0xFFF) << "";
        const QString strPastEnd = "quillet-map: range 20000:30000: both files end before its "
                                   "first byte (the longer has 10000 bytes)\n";
        QTest::newRow("range past both ends")
            << "equal" << r + QStringList{"20000:30000"} << 2 << "" << strPastEnd;
        QTest::newRow("range in empty files")
            << "empty" << QStringList{"-s", "--range=0:0"} << 2 << ""
            << "quillet-map: range 0:0: both files end before its first byte (the longer has 0 "
               "bytes)\n";
        QTest::newRow("range past both ends, in JSON")
            << "equal" << QStringList{"--json", "--range=20000:30000"} << 2
            << "{\"error\":\"" + strPastEnd.mid(13).chopped(1) + "\",\"status\":2}\n"
            << strPastEnd;

        const QString strMissing = m_pairs["missing"][2];
        QTest::newRow("json, missing file")
            << "missing" << QStringList{"--json"} << 2
            << "{\"error\":\"" + m_dir.path() +
                   "/missing \\\"1\\\": No such file or directory\","
                   "\"status\":2}\n"
            << "quillet-map: " + strMissing + ": No such file or directory\n";
    }
    void outputs() {
        const auto [pair, args, status, out, err] =
            Fetch<QString, QStringList, int, QString, QString>("pair", "args", "status", "out",
                                                               "err");
        const CRun run = Run(args + m_pairs[pair]);
        QCOMPARE(run.strOut, out);
        QCOMPARE(run.strErr, err);
        QCOMPARE(run.nStatus, status);
    }

    // A block that cannot be read is trouble in every output; JSON says it as "error" too.
    void readError_data() {
        Columns<QStringList, QString>("args", "out");
        const QStringList files = m_pairs["equal"];
        QTest::newRow("text") << QStringList{"-b", "4096"}
                              << "blocks=3 block_size=4096 equal=2 different=0 length_differs=0 "
                                 "read_error=1\n" +
                                     RunLine("read-error", 4096, 8191);
        QTest::newRow("json")
            << QStringList{"-b", "4096", "--json"}
            << "{\"file1\":{\"path\":\"" + files[1] +
                   "\",\"length\":10000},\"file2\":{\"path\":\"" + files[2] +
                   "\",\"length\":10000},\"block_size\":4096,\"blocks\":3,\"counts\":{\"equal\":2,"
                   "\"different\":0,\"length_differs\":0,\"read_error\":1},\"runs\":[{\"state\":"
                   "\"read-error\",\"first\":4096,\"last\":8191}],\"error\":\"1 blocks could not "
                   "be read\",\"status\":2}\n";
        QTest::newRow("quiet") << QStringList{"-s", "-b", "4096"} << "";
        QTest::newRow("first") << QStringList{"--first", "-b", "4096"} << "";
    }
    void readError() {
        const auto [args, out] = Fetch<QStringList, QString>("args", "out");
        CInstalledFaultyFileSystem faulty;
        faulty.strFailPath = "same";
        faulty.nFailFirst = 4096;
        faulty.nFailEnd = 8192;
        const CRun run = Run(args + m_pairs["equal"]);
        QCOMPARE(run.strOut, out);
        QCOMPARE(run.strErr, "quillet-map: 1 blocks could not be read\n");
        QCOMPARE(run.nStatus, 2);
    }

    // With a range, the dump shows only the part of it inside the range.
    void dumpInsideRange() {
        const QStringList files = m_pairs["last"];
        CInputFile file1;
        CInputFile file2;
        QVERIFY(file1.Open(files[1].toStdString()) && file2.Open(files[2].toStdString()));
        const QString strDump = QString::fromStdString(BuildHexDump(file1, file2, 9000, 9999));
        QVERIFY(strDump.contains("[") && !strDump.contains("00001F40"));
        const CRun run = Run(QStringList{"--range=9000:9999", "--dump=0:0xFFFFFF"} + files);
        QCOMPARE(run.strOut, strDump + "\n");
        QCOMPARE(run.nStatus, 0);
    }

    // The JSON document tells what the text report of the same run tells.
    void jsonMatchesText_data() {
        Columns<QString, QStringList>("pair", "args");
        const QStringList b{"-b", "4096"};
        for (const char* pszPair : {"equal", "first", "last", "length", "empty"})
            QTest::newRow(pszPair) << pszPair << b;
        QTest::newRow("one-byte blocks") << "last" << QStringList{"-b1"};
        QTest::newRow("range") << "last" << b + QStringList{"--range=1:9999"};
        QTest::newRow("range above 4 GiB")
            << "big" << QStringList{"--range=0xFFFFF000:0x100001FFF"};
    }
    void jsonMatchesText() {
        const auto [pair, args] = Fetch<QString, QStringList>("pair", "args");
        const CRun text = Run(args + m_pairs[pair]);
        const CRun json = Run(args + QStringList{"--json"} + m_pairs[pair]);
        QVERIFY(json.strOut.endsWith("}\n") && json.strOut.count('\n') == 1);
        QJsonParseError error;
        const QJsonObject doc = QJsonDocument::fromJson(json.strOut.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(TextOf(doc), text.strOut);
        QCOMPARE(json.nStatus, text.nStatus);
        QCOMPARE(doc["status"].toInt(), text.nStatus);
        for (int i : {1, 2}) {
            const QJsonObject file = doc[QString("file%1").arg(i)].toObject();
            QCOMPARE(file["path"].toString(), m_pairs[pair][i]);
            QCOMPARE(file["length"].toInteger(), QFileInfo(m_pairs[pair][i]).size());
        }
        const QString strRange = args.filter("--range=").value(0).mid(8);
        const QJsonObject range = doc["range"].toObject();
        QCOMPARE(
            range.isEmpty()
                ? QString()
                : QString("%1:%2").arg(range["first"].toInteger()).arg(range["last"].toInteger()),
            strRange.isEmpty() ? QString()
                               : QString("%1:%2")
                                     .arg(strRange.section(':', 0, 0).toULongLong(nullptr, 0))
                                     .arg(strRange.section(':', 1).toULongLong(nullptr, 0)));
    }

    // A name that is not UTF-8 keeps every byte, as the window's path text shows it.
    void jsonKeepsPathBytes() {
        const std::string strPath = m_dir.path().toStdString() + "/bad \xFF\xC3 \xC3\xA9 \x01";
        const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        std::ostringstream out;
        std::ostringstream err;
        const int nStatus = RunMap({"--json", strPath, strPath}, out, err, false);
        ::unlink(strPath.c_str()); // a name QTemporaryDir could not spell to remove it
        QCOMPARE(nStatus, 0);
        QVERIFY2(out.str().find(" \\udcff\\udcc3 \xC3\xA9 \\u0001\"") != std::string::npos,
                 out.str().c_str());
        const QJsonObject doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).object();
        QCOMPARE(doc["file1"]["path"].toString(), QString::fromStdU16String(PathToText(strPath)));
    }

    // --quiet and --first stop at the first block that is not equal: two 1 GiB files that
    // differ at byte 16 cost a few reads, not 8192; lengths that differ cost none.
    void earlyStop_data() {
        Columns<QStringList, qulonglong, int, QString, int>("args", "length2", "status", "out",
                                                            "maxReads");
        QTest::newRow("quiet") << QStringList{"-s"} << (1ull << 30) << 1 << "" << 2;
        QTest::newRow("first") << QStringList{"--first"} << (1ull << 30) << 1
                               << First("different", 16) << 4;
        QTest::newRow("quiet, lengths differ")
            << QStringList{"--quiet"} << (1ull << 30) - 1 << 1 << "" << 0;
    }
    void earlyStop() {
        const auto [args, length2, status, out, maxReads] =
            Fetch<QStringList, qulonglong, int, QString, int>("args", "length2", "status", "out",
                                                              "maxReads");
        const std::string strPath1 = WriteSparse(m_dir, "gib 1", 1ull << 30);
        const std::string strPath2 = WriteSparse(m_dir, "gib 2", length2, 16, "\x01");
        CInstalledFaultyFileSystem counting;
        const CRun run = Run(
            args + QStringList{QString::fromStdString(strPath1), QString::fromStdString(strPath2)});
        QCOMPARE(run.strOut, out);
        QCOMPARE(run.nStatus, status);
        QVERIFY2(counting.nReads <= maxReads, qPrintable(QString::number(counting.nReads)));
    }
};

QTEST_GUILESS_MAIN(TestMapOutput)
#include "tst_mapoutput.moc"
