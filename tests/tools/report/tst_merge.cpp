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
        // A run of 10 s from the given first frame, with the sender's lamp and codes.
        const auto write = [](const QString &path, qint64 first, const char *lamp, const QString &codes) {
            const char text[] = R"({"type": "report", "signals": [], "transport": {"sessions": 1},
                "identities": [{"input": "%1", "frames": 1, "firstFrame": %1, "lastFrame": %2}],
                "lamps": [{"interface": "can0", "sourceAddress": "0x00", "malfunctionIndicator": "%3"}],
                "faults": [%4], "requests": [{"interface": "can0", "sourceAddress": "0x31", "pgn": 1, "count": 2}]})";
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(
                QString::fromLatin1(text).arg(first).arg(first + 10000000).arg(QLatin1String(lamp), codes).toUtf8());
        };
        const auto code = [](int spn, int occurrences, double first, double last) {
            return QStringLiteral(R"({"interface": "can0", "sourceAddress": "0x00", "spn": %1, "fmi": 9,
                "occurrences": %2, "active": true, "firstSeen": %3, "lastSeen": %4})")
                .arg(spn)
                .arg(occurrences)
                .arg(first)
                .arg(last);
        };
        QTemporaryDir dir;
        const QString earlier = dir.filePath(QStringLiteral("earlier.json"));
        const QString later = dir.filePath(QStringLiteral("later.json"));
        write(earlier, 1000000000, "on", code(84, 8, 1, 9) + QLatin1Char(',') + code(96, 5, 2, 9));
        write(later, 2000000000, "off", code(84, 6, 0.5, 8));
        MergedReport merged;
        QString error;
        QVERIFY2(mergeReports({later, earlier}, merged, error), qPrintable(error));
        const J1939Diagnostics &d = merged.summary.diagnostics;
        QCOMPARE(d.transport.sessions + d.requests.value(0).count, quint64(2 + 4));
        QVERIFY(d.senders.size() == 1 && d.senders[0].lamps[0] == LampState::Off);
        QCOMPARE(d.faults.size(), 2);
        QVERIFY(d.faults[0].active && d.faults[0].occurrences == 8);
        QVERIFY(d.faults[0].firstSeen == 1.0 && d.faults[0].lastSeen == 1008.0);
        // Gone: the later run saw its sender without it.
        QVERIFY(d.faults[1].spn == 96 && !d.faults[1].active);
    }
};

QTEST_GUILESS_MAIN(TestMerge)
#include "tst_merge.moc"
