// SPDX-License-Identifier: LGPL-2.1-or-later
// The median told from a guess in one pass, against the library's selection.
#include "MedianNear.h"

#include <Quillon/StatisticCalculator.h>

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

namespace
{
double selected(const QList<double> &values)
{
    static const StatisticCalculator<double> calculator{std::optional<int>()};
    return calculator.getMedian(values);
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}
}

class TestMedianNear : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void medianNear_data()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<double>("guess");
        QTest::addColumn<bool>("told");
        QTest::newRow("oddAtGuess") << QList<double>{5, 1, 4, 2, 3} << 3.0 << true;
        QTest::newRow("oddBetweenGuessAndNext") << QList<double>{5, 1, 4, 2, 3} << 2.5 << true;
        QTest::newRow("oddNextBelowGuess") << QList<double>{5, 1, 4, 2, 3} << 3.5 << true;
        QTest::newRow("oddFarFromGuess") << QList<double>{5, 1, 4, 2, 3} << 1.0 << false;
        QTest::newRow("evenAcrossGuess") << QList<double>{4, 1, 3, 2} << 2.0 << true;
        QTest::newRow("evenBothBelowGuess") << QList<double>{4, 1, 3, 2} << 3.5 << false;
        QTest::newRow("evenBetweenMiddles") << QList<double>{4, 1, 3, 2} << 2.5 << true;
        QTest::newRow("repeatsOfGuess") << QList<double>{7, 7, 1, 9, 7, 7} << 7.0 << true;
        QTest::newRow("single") << QList<double>{-4.5} << -4.5 << true;
        QTest::newRow("empty") << QList<double>{} << 0.0 << false;
        QTest::newRow("nanInValues") << QList<double>{1, nan, 3} << 1.0 << false;
        QTest::newRow("nanGuess") << QList<double>{1, 2, 3} << nan << false;
    }

    void medianNear()
    {
        QFETCH(QList<double>, values);
        QFETCH(double, guess);
        QFETCH(bool, told);
        const std::optional<double> median = ::medianNear(values, guess);
        QCOMPARE(median.has_value(), told);
        if (median) {
            QVERIFY2(sameBits(*median, selected(values)), qPrintable(QString::number(*median, 'g', 17)));
        }
    }

    // Quantized histories, as a scaled CAN signal's are, each guessed at by a
    // value near its median: wherever a median is told, it is the selection's.
    void medianNear_agreesWithTheSelection()
    {
        QRandomGenerator random(20);
        int told = 0;
        for (int round = 0; round < 2000; ++round) {
            QList<double> values;
            const int size = 1 + static_cast<int>(random.bounded(60));
            const int levels = 1 + static_cast<int>(random.bounded(12));
            for (int i = 0; i < size; ++i) {
                values.append(static_cast<int>(random.bounded(levels)) * 0.125 - 0.5);
            }
            const double guess = selected(values) + (static_cast<int>(random.bounded(5)) - 2) * 0.0625;
            const std::optional<double> median = ::medianNear(values, guess);
            if (median) {
                ++told;
                QVERIFY2(sameBits(*median, selected(values)), qPrintable(QStringLiteral("round %1").arg(round)));
            }
        }
        // Both ways taken: told from the guess, and left to the selection.
        QVERIFY2(told > 500 && told < 2000, qPrintable(QString::number(told)));
    }
};

QTEST_GUILESS_MAIN(TestMedianNear)
#include "tst_mediannear.moc"
