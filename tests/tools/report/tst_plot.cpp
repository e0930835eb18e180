// SPDX-License-Identifier: LGPL-2.1-or-later
// The plot's structure: what it draws must match the history it was given.
#include "SvgPlot.h"
#include "ToolTestSupport.h"

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(SignalSeries)

namespace
{
bool near(double x, const QVector<double> &xs)
{
    return std::any_of(xs.cbegin(), xs.cend(), [x](double other) { return std::abs(x - other) <= 1.0; });
}
}

class TestPlot : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void longHistory_everyExcursionMarkedWhereItHappened()
    {
        // 10,000 s at 100 Hz; bursts of 1 to 40 samples above or below the band every
        // 4999 samples, about 4,000 outside samples in all, the last one at the end.
        const int count = 1000000;
        SignalSeries s;
        s.average = 1500.0;
        s.lowerThreshold = 1200.0;
        s.upperThreshold = 1800.0;
        QVector<double> excursionX;
        for (int i = 0; i < count; ++i) {
            const double t = i * 10000.0 / (count - 1);
            const int burst = i / 4999;
            double value = 1500.0 + 200.0 * std::sin(i * 0.001);
            if (i % 4999 <= burst * 13 % 40 || i == count - 1) {
                value = burst % 2 ? 2000.0 + i % 4999 : 1000.0 - i % 4999;
                s.outside.append(QPointF(t, value));
                excursionX.append(t / 10000.0);
            }
            s.samples.append(QPointF(t, value));
        }
        const QByteArray svg = svgPlot({s});
        QVERIFY2(svg.size() < 200000, QByteArray::number(svg.size()).constData());
        const Drawn drawn = drawnIn(svg);
        QVERIFY(!drawn.plotArea.isEmpty());
        for (double &x : excursionX) {
            x = drawn.plotArea.left() + x * drawn.plotArea.width();
            QVERIFY2(near(x, drawn.outsideX), qPrintable(QStringLiteral("no mark at x %1").arg(x)));
        }
        for (double x : drawn.outsideX) {
            QVERIFY2(near(x, excursionX), qPrintable(QStringLiteral("a mark without an excursion at x %1").arg(x)));
        }
    }

    void panel_data()
    {
        QTest::addColumn<SignalSeries>("series");
        QTest::addColumn<int>("historyPoints");
        QTest::addColumn<int>("sampleDots");
        QTest::addColumn<int>("outsideMarks");
        QTest::addColumn<bool>("saysNoSamples");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        SignalSeries s;
        QTest::newRow("noSamplesSaysSo") << s << 0 << 0 << 0 << true;
        s.samples = {{5.0, 42.0}};
        QTest::newRow("oneSampleShowsItsPoint") << s << 1 << 1 << 0 << false;
        s.samples = {{0.0, 1.0}, {1.0, nan}, {inf, 2.0}, {2.0, -inf}, {3.0, 4.0}};
        s.outside = {{inf, 4.0}, {1.0, nan}, {0.0, 1.0}};
        s.average = nan;
        s.lowerThreshold = -inf;
        s.upperThreshold = inf;
        QTest::newRow("nonFiniteLeftOut") << s << 2 << 0 << 1 << false;
        // A pedal from 0 to 100 % under a band from -14.8 %: the band must not
        // squeeze the history into the upper part of the panel.
        s.samples.clear();
        s.outside.clear();
        for (int i = 0; i <= 100; ++i) {
            s.samples.append(QPointF(i, i));
        }
        s.average = 50.0;
        s.lowerThreshold = -14.8;
        s.upperThreshold = 150.0;
        QTest::newRow("bandBeyondDataLeavesAxisToData") << s << 101 << 0 << 0 << false;
    }

    void panel()
    {
        QFETCH(SignalSeries, series);
        QFETCH(int, historyPoints);
        const QByteArray svg = svgPlot({series});
        QVERIFY(!svg.toLower().contains("nan"));
        QVERIFY(!svg.toLower().contains("inf"));
        const Drawn drawn = drawnIn(svg);
        QVERIFY(!drawn.plotArea.isEmpty());
        QCOMPARE(drawn.historyY.size(), historyPoints);
        QTEST(drawn.sampleDots, "sampleDots");
        QTEST(int(drawn.outsideX.size()), "outsideMarks");
        QTEST(drawn.saysNoSamples, "saysNoSamples");
        if (historyPoints > 1) {
            const auto [low, high] = std::minmax_element(drawn.historyY.cbegin(), drawn.historyY.cend());
            QVERIFY(*high - *low > 0.85 * drawn.plotArea.height());
        }
    }
};

QTEST_GUILESS_MAIN(TestPlot)
#include "tst_plot.moc"
