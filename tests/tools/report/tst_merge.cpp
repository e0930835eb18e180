// SPDX-License-Identifier: LGPL-2.1-or-later
// Reports merged exactly: the pairwise update, whatever the sizes and means.
#include "Merge.h"
#include "ReportFields.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <random>
#include <vector>

namespace
{
// Count, extremes, mean and sum of squared deviations, in two passes in extended precision.
SignalSnapshot described(const std::vector<double> &values)
{
    long double mean = 0;
    long double m2 = 0;
    for (const double x : values) {
        mean += x;
    }
    mean /= static_cast<long double>(values.size());
    for (const double x : values) {
        m2 += (x - mean) * (x - mean);
    }
    SignalSnapshot s;
    s.decodedSamples = values.size();
    s.liveAverage = static_cast<double>(mean);
    s.m2 = static_cast<double>(m2);
    s.deviation = static_cast<double>(std::sqrt(m2 / static_cast<long double>(values.size())));
    s.minimum = *std::min_element(values.cbegin(), values.cend());
    s.maximum = *std::max_element(values.cbegin(), values.cend());
    return s;
}
}

class TestMerge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mergeStatistics_keepsDigits_data()
    {
        QTest::addColumn<int>("bigCount");
        QTest::addColumn<double>("bigMean");
        QTest::addColumn<int>("smallCount");
        QTest::addColumn<double>("smallMean");
        QTest::newRow("sameSizesNearMeans") << 1000 << 100.0 << 1000 << 101.0;
        QTest::newRow("millionBesideThree") << 1000000 << 1e9 << 3 << -1e3;
        QTest::newRow("farMeansSmallSpread") << 100000 << 1e12 << 100000 << 1.0;
    }

    void mergeStatistics_keepsDigits()
    {
        QFETCH(int, bigCount);
        QFETCH(double, bigMean);
        QFETCH(int, smallCount);
        QFETCH(double, smallMean);
        std::mt19937 generator(1);
        std::normal_distribution<double> bigValues(bigMean, 1.0);
        std::normal_distribution<double> smallValues(smallMean, 0.5);
        std::vector<double> all(static_cast<std::size_t>(bigCount + smallCount));
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = i < static_cast<std::size_t>(bigCount) ? bigValues(generator) : smallValues(generator);
        }
        const auto split = all.cbegin() + bigCount;
        const SignalSnapshot whole = described(all);

        SignalSnapshot merged;
        mergeStatistics(merged, described({split, all.cend()}));
        mergeStatistics(merged, described({all.cbegin(), split}));
        mergeStatistics(merged, SignalSnapshot()); // adds nothing, not even a minimum of 0
        QCOMPARE(merged.decodedSamples, whole.decodedSamples);
        QVERIFY(merged.minimum == whole.minimum);
        QVERIFY(merged.maximum == whole.maximum);
        const auto relative = [](double got, double want) {
            return std::fabs(got / want - 1.0);
        };
        QVERIFY2(relative(merged.liveAverage, whole.liveAverage) < 1e-12,
                 qPrintable(QString::number(merged.liveAverage)));
        QVERIFY2(relative(merged.m2, whole.m2) < 1e-12, qPrintable(QString::number(merged.m2)));
        QVERIFY(relative(merged.deviation, whole.deviation) < 1e-12);
    }

    // What a merge reads of a report's signal: statistics only where it has
    // samples, and then all of them; a signal without samples adds its counts only.
    void readFields_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("read");
        const auto row = [](const char *name, const char *json, const char *read) {
            QTest::newRow(name) << QByteArray(json) << QString::fromLatin1(read);
        };
        row("samplesWithStatistics",
            R"({"name":"a","count":2,"mean":1.5,"m2":0.5,"min":1,"max":2,"notAvailable":3})",
            "count 2 mean 1.5 m2 0.5 min 1 max 2 n/a 3 SA -1");
        row("noSamplesNeedNoStatistics",
            R"({"name":"a","count":0,"notAvailable":3})",
            "count 0 mean 0 m2 0 min 0 max 0 n/a 3 SA -1");
        row("noSamplesIgnoreStatistics",
            R"({"name":"a","count":0,"mean":7,"m2":1,"min":6,"max":8})",
            "count 0 mean 0 m2 0 min 0 max 0 n/a 0 SA -1");
        row("samplesWithoutM2",
            R"({"name":"a","count":2,"mean":1.5,"min":1,"max":2})",
            R"(signal "a" has samples but no number "m2")");
        row("samplesWithNullMin",
            R"({"name":"a","count":1,"mean":1,"m2":0,"min":null,"max":1})",
            R"(signal "a" has samples but no number "min")");
        row("countAsText", R"({"name":"a","count":"2"})", R"(a signal without "name" and "count")");
        row("sourceAddressInHex",
            R"({"name":"a","count":0,"sourceAddress":"0x17"})",
            "count 0 mean 0 m2 0 min 0 max 0 n/a 0 SA 23");
        row("sourceAddressAsNumber",
            R"({"name":"a","count":0,"sourceAddress":23})",
            "count 0 mean 0 m2 0 min 0 max 0 n/a 0 SA 23");
        row("noName", R"({"count":0})", R"(a signal without "name" and "count")");
        row("negativeCountsAsZero",
            R"({"name":"a","count":0,"errors":-4,"tooShort":-1})",
            "count 0 mean 0 m2 0 min 0 max 0 n/a 0 SA -1");
    }

    void readFields()
    {
        QFETCH(QByteArray, json);
        SignalSnapshot s;
        QString error;
        const bool read = ::readFields(QJsonDocument::fromJson(json).object(), s, error);
        QTEST(read ? QStringLiteral("count %1 mean %2 m2 %3 min %4 max %5 n/a %6 SA %7")
                         .arg(s.decodedSamples)
                         .arg(s.liveAverage)
                         .arg(s.m2)
                         .arg(s.minimum)
                         .arg(s.maximum)
                         .arg(s.notAvailableSamples + s.errorSamples + s.tooShortFrames)
                         .arg(s.sourceAddress)
                   : error,
              "read");
    }

    // Per vehicle: a code is active as the latest run that saw its sender says,
    // whatever the order the reports are given in.
    void mergeReports_faultsByTheLatestRun()
    {
        const auto report = [](double firstFrame, const char *lamp, const char *faults, int sessions) {
            return QJsonDocument::fromJson(
                       QStringLiteral(R"({"type": "report", "signals": [], "identities": [{"input": "%1",
                           "frames": 10, "firstFrame": %1, "lastFrame": %2}],
                           "transport": {"sessions": %3, "completed": %3},
                           "lamps": [{"interface": "can0", "sourceAddress": "0x00", "malfunctionIndicator": "%4"}],
                           "faults": [%5],
                           "requests": [{"interface": "can0", "sourceAddress": "0x31", "pgn": 65257, "count": 2}]})")
                           .arg(firstFrame, 0, 'f', 0)
                           .arg(firstFrame + 1e7, 0, 'f', 0)
                           .arg(sessions)
                           .arg(QLatin1String(lamp), QLatin1String(faults))
                           .toUtf8())
                .toJson();
        };
        const char code[] = R"({"interface": "can0", "sourceAddress": "0x00", "spn": %1, "fmi": %2,
            "occurrences": %3, "active": true, "firstSeen": %4, "lastSeen": %5})";
        const auto fault = [&code](int spn, int fmi, int occurrences, double first, double last) {
            return QString::fromLatin1(code).arg(spn).arg(fmi).arg(occurrences).arg(first).arg(last);
        };
        QTemporaryDir dir;
        const QString earlier = dir.filePath(QStringLiteral("earlier.json"));
        const QString later = dir.filePath(QStringLiteral("later.json"));
        const auto write = [](const QString &path, const QByteArray &text) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        };
        write(earlier,
              report(1e9,
                     "on",
                     (fault(84, 9, 8, 1, 9) + QLatin1Char(',') + fault(96, 3, 5, 2, 9)).toUtf8().constData(),
                     2));
        write(later, report(2e9, "off", fault(84, 9, 6, 0.5, 8).toUtf8().constData(), 1));
        MergedReport merged;
        QString error;
        QVERIFY2(mergeReports({later, earlier}, merged, error), qPrintable(error));
        const J1939Diagnostics &d = merged.summary.diagnostics;
        QCOMPARE(d.transport.sessions, quint64(3));
        QCOMPARE(d.senders.size(), 1);
        QVERIFY(d.senders[0].lamps[0] == LampState::Off);
        QCOMPARE(d.faults.size(), 2);
        QCOMPARE(d.faults[0].spn, 84u);
        QVERIFY(d.faults[0].active);
        QCOMPARE(d.faults[0].occurrences, 8);
        QVERIFY(d.faults[0].firstSeen == 1.0);
        QVERIFY(d.faults[0].lastSeen == 1008.0);
        QCOMPARE(d.faults[1].spn, 96u);
        QVERIFY(!d.faults[1].active);
        QCOMPARE(d.requests.size(), 1);
        QCOMPARE(d.requests[0].count, quint64(4));
    }
};

QTEST_GUILESS_MAIN(TestMerge)
#include "tst_merge.moc"
