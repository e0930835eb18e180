// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SvgPlot.h"

#include <QLocale>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
constexpr double imageWidth = 960.0;
constexpr double panelHeight = 250.0;
constexpr double plotLeft = 84.0;
constexpr double plotRight = imageWidth - 24.0;
// Title and legend rows above the plot area, tick labels and the time title below.
constexpr double plotTopOffset = 52.0;
constexpr double plotBottomOffset = 42.0;
constexpr int columnCount = static_cast<int>(plotRight - plotLeft);

constexpr const char *historyColour = "#222";
constexpr const char *bandColour = "#4a90d9";
constexpr const char *outsideColour = "#d0021b";
constexpr const char *gridColour = "#ddd";

bool drawable(const QPointF &p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// Rounded to a tenth of a pixel; never NaN or inf, whatever went in.
QString coordinate(double value)
{
    return QString::number(std::isfinite(value) ? value : 0.0, 'f', 1);
}

QString number(double value, int decimals)
{
    if (!std::isfinite(value)) {
        return QStringLiteral("n/a");
    }
    // No "-0" for a value that rounds to zero.
    return QString::number(std::abs(value) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : value, 'f', decimals);
}

QString count(qint64 n)
{
    return QLocale(QLocale::English).toString(n);
}

struct Range
{
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    bool isEmpty() const
    {
        return !(low <= high);
    }
    void include(double value)
    {
        low = std::min(low, value);
        high = std::max(high, value);
    }
};

// Linear map from data to pixels.
struct Axis
{
    double low = 0.0;
    double high = 1.0;
    double from = 0.0;
    double to = 1.0;

    double map(double value) const
    {
        return from + (value - low) / (high - low) * (to - from);
    }
    double clampedMap(double value) const
    {
        return map(std::clamp(value, low, high));
    }
    bool contains(double value) const
    {
        return value >= low && value <= high;
    }
};

// Round tick values in steps of 1, 2 or 5 times a power of ten, about target of them.
struct Ticks
{
    QVector<double> values;
    int decimals = 0;
};

Ticks ticks(double low, double high, int target)
{
    Ticks result;
    const double raw = (high - low) / target;
    if (!(raw > 0.0) || !std::isfinite(raw)) {
        return result;
    }
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double fraction = raw / magnitude;
    const double step = magnitude * (fraction <= 1.0 ? 1.0 : fraction <= 2.0 ? 2.0 : fraction <= 5.0 ? 5.0 : 10.0);
    result.decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 12);
    const double first = std::ceil(low / step - 1e-9);
    for (int i = 0; i <= 2 * target + 2; ++i) {
        const double value = (first + i) * step;
        if (value > high + step * 1e-9) {
            break;
        }
        result.values.append(std::abs(value) < step * 1e-9 ? 0.0 : value);
    }
    return result;
}

Range timeRange(const QVector<SignalSeries> &series)
{
    Range range;
    for (const SignalSeries &s : series) {
        for (const QPointF &p : s.samples) {
            if (drawable(p)) {
                range.include(p.x());
            }
        }
    }
    if (range.isEmpty()) {
        return Range{0.0, 1.0};
    }
    if (range.high - range.low <= 0.0) {
        return Range{range.low - 1.0, range.high + 1.0};
    }
    // A log of 0.01 to 29.99 s reads better from 0 to 30 s; a history that starts
    // far into the log keeps its own start.
    const Ticks roundTicks = ticks(range.low, range.high, 10);
    if (roundTicks.values.size() > 1) {
        const double step = roundTicks.values.at(1) - roundTicks.values.at(0);
        const double slack = (range.high - range.low) / 50.0;
        const double low = roundTicks.values.first() - step;
        const double high = roundTicks.values.last() + step;
        if (range.low - low <= slack && range.low > low) {
            range.low = low;
        }
        if (high - range.high <= slack && range.high < high) {
            range.high = high;
        }
    }
    return range;
}

// The samples' extent with a margin, so the line does not run along the frame.
Range valueRange(const SignalSeries &s)
{
    Range range;
    for (const QPointF &p : s.samples) {
        if (drawable(p)) {
            range.include(p.y());
        }
    }
    if (range.isEmpty()) {
        return range;
    }
    const double span = range.high - range.low;
    // A flat history sits in the middle, at a scale that suits its value.
    const double level = std::abs(range.high);
    const double margin = span > 1e-9 * level ? span / 20.0 : level > 0.0 ? level / 20.0 : 1.0;
    return Range{range.low - margin, range.high + margin};
}

int column(const Axis &x, double t)
{
    const double c = std::floor(x.map(t) - x.from);
    return c < 0.0 ? 0 : c >= columnCount ? columnCount - 1 : static_cast<int>(c);
}

struct Panel
{
    Axis x;
    Axis y;
    double top = 0.0;
    double plotTop = 0.0;
    double plotBottom = 0.0;
    Ticks timeTicks;
};

/*
 * Per pixel column the indices of the first, last, lowest and highest sample,
 * joined in their order: the line then looks as if every sample had been drawn.
 */
void writeHistory(QTextStream &svg, const QVector<QPointF> &samples, const Panel &panel)
{
    struct Column
    {
        int first = -1;
        int last = -1;
        int lowest = -1;
        int highest = -1;
    };
    QVector<Column> columns(columnCount);
    for (int i = 0; i < samples.size(); ++i) {
        const QPointF &p = samples.at(i);
        if (!drawable(p)) {
            continue;
        }
        Column &c = columns[column(panel.x, p.x())];
        if (c.first < 0) {
            c = Column{i, i, i, i};
            continue;
        }
        c.last = i;
        if (p.y() < samples.at(c.lowest).y()) {
            c.lowest = i;
        }
        if (p.y() > samples.at(c.highest).y()) {
            c.highest = i;
        }
    }
    svg << "<polyline class=\"history\" fill=\"none\" stroke=\"" << historyColour
        << "\" stroke-width=\"1\" stroke-linejoin=\"round\" points=\"";
    int drawn = 0;
    int lastDrawn = -1;
    for (const Column &c : columns) {
        if (c.first < 0) {
            continue;
        }
        int kept[] = {c.first, c.lowest, c.highest, c.last};
        std::sort(std::begin(kept), std::end(kept));
        const auto end = std::unique(std::begin(kept), std::end(kept));
        for (auto i = std::begin(kept); i != end; ++i) {
            const QPointF &p = samples.at(*i);
            svg << coordinate(panel.x.map(p.x())) << ',' << coordinate(panel.y.map(p.y())) << ' ';
            ++drawn;
            lastDrawn = *i;
        }
    }
    svg << "\"/>\n";
    // A line through one point is invisible.
    if (drawn == 1) {
        const QPointF &p = samples.at(lastDrawn);
        svg << "<circle class=\"sample\" cx=\"" << coordinate(panel.x.map(p.x())) << "\" cy=\""
            << coordinate(panel.y.map(p.y())) << "\" r=\"3.5\" fill=\"" << historyColour << "\"/>\n";
    }
}

/*
 * Per pixel column and side of the average, one mark from the least to the most
 * extreme outside sample, so a burst of thousands stays one mark per column and
 * a single excursion anywhere in a long log is still seen.
 */
void writeOutside(QTextStream &svg, const SignalSeries &s, const Panel &panel)
{
    QVector<Range> above(columnCount);
    QVector<Range> below(columnCount);
    for (const QPointF &p : s.outside) {
        if (drawable(p)) {
            (p.y() > s.average ? above : below)[column(panel.x, p.x())].include(p.y());
        }
    }
    svg << "<g fill=\"" << outsideColour << "\" stroke=\"" << outsideColour
        << "\" stroke-width=\"5\" stroke-linecap=\"round\">\n";
    for (int c = 0; c < columnCount; ++c) {
        for (const Range &r : {above.at(c), below.at(c)}) {
            if (r.isEmpty()) {
                continue;
            }
            const QString x = coordinate(panel.x.from + c + 0.5);
            const double y1 = panel.y.clampedMap(r.high);
            const double y2 = panel.y.clampedMap(r.low);
            if (y2 - y1 < 1.0) {
                svg << "<circle class=\"outside\" cx=\"" << x << "\" cy=\"" << coordinate((y1 + y2) / 2.0)
                    << "\" r=\"2.5\" stroke=\"none\"/>\n";
            } else {
                svg << "<line class=\"outside\" x1=\"" << x << "\" x2=\"" << x << "\" y1=\"" << coordinate(y1)
                    << "\" y2=\"" << coordinate(y2) << "\"/>\n";
            }
        }
    }
    svg << "</g>\n";
}

void writeTimeAxis(QTextStream &svg, const Panel &panel)
{
    for (double t : panel.timeTicks.values) {
        const QString x = coordinate(panel.x.map(t));
        svg << "<line x1=\"" << x << "\" x2=\"" << x << "\" y1=\"" << coordinate(panel.plotTop) << "\" y2=\""
            << coordinate(panel.plotBottom + 4) << "\" stroke=\"" << gridColour << "\"/>\n";
        svg << "<text x=\"" << x << "\" y=\"" << coordinate(panel.plotBottom + 16)
            << "\" font-size=\"11\" text-anchor=\"middle\">" << number(t, panel.timeTicks.decimals) << "</text>\n";
    }
    svg << "<text x=\"" << coordinate((plotLeft + plotRight) / 2.0) << "\" y=\"" << coordinate(panel.plotBottom + 32)
        << "\" font-size=\"11\" text-anchor=\"middle\">time [s]</text>\n";
}

void writeValueAxis(QTextStream &svg, const Panel &panel, const Ticks &valueTicks, const QString &unit)
{
    for (double v : valueTicks.values) {
        const QString y = coordinate(panel.y.map(v));
        svg << "<line x1=\"" << coordinate(plotLeft - 4) << "\" x2=\"" << plotRight << "\" y1=\"" << y << "\" y2=\""
            << y << "\" stroke=\"" << gridColour << "\"/>\n";
        svg << "<text x=\"" << coordinate(plotLeft - 7) << "\" y=\"" << coordinate(panel.y.map(v) + 4)
            << "\" font-size=\"11\" text-anchor=\"end\">" << number(v, valueTicks.decimals) << "</text>\n";
    }
    if (!unit.isEmpty()) {
        const QString y = coordinate((panel.plotTop + panel.plotBottom) / 2.0);
        svg << "<text x=\"16\" y=\"" << y << "\" transform=\"rotate(-90 16 " << y
            << ")\" font-size=\"11\" text-anchor=\"middle\">" << unit.toHtmlEscaped() << "</text>\n";
    }
}

// Fixed slots rather than measured text: the image is written without a font at hand.
void writeLegend(QTextStream &svg, const SignalSeries &s, const Panel &panel, int decimals)
{
    const double y = panel.top + 40.0;
    const QString unit = s.unit.isEmpty() ? QString() : QLatin1Char(' ') + s.unit.toHtmlEscaped();
    auto label = [&](double x, const QString &text) {
        svg << "<text x=\"" << coordinate(x + 22) << "\" y=\"" << coordinate(y + 4) << "\" font-size=\"11\">" << text
            << "</text>\n";
    };
    double x = plotLeft;
    svg << "<line x1=\"" << x << "\" x2=\"" << (x + 16) << "\" y1=\"" << y << "\" y2=\"" << y << "\" stroke=\""
        << historyColour << "\"/>\n";
    label(x, QStringLiteral("history, %1 stored").arg(count(s.samples.size())));
    x += 200.0;
    svg << "<rect x=\"" << x << "\" y=\"" << (y - 5) << "\" width=\"16\" height=\"10\" fill=\"" << bandColour
        << "\" fill-opacity=\"0.15\" stroke=\"" << bandColour << "\" stroke-opacity=\"0.4\"/>\n";
    label(x,
          QStringLiteral("band %1 to %2%3")
              .arg(number(s.lowerThreshold, decimals), number(s.upperThreshold, decimals), unit));
    x += 250.0;
    svg << "<line x1=\"" << x << "\" x2=\"" << (x + 16) << "\" y1=\"" << y << "\" y2=\"" << y << "\" stroke=\""
        << bandColour << "\" stroke-dasharray=\"6 4\"/>\n";
    label(x, QStringLiteral("average %1%2").arg(number(s.average, decimals), unit));
    x += 180.0;
    svg << "<circle cx=\"" << (x + 8) << "\" cy=\"" << y << "\" r=\"2.5\" fill=\"" << outsideColour << "\"/>\n";
    label(x, QStringLiteral("outside the band: %1").arg(count(s.outside.size())));
}

void writeBandLines(QTextStream &svg, const SignalSeries &s, const Panel &panel)
{
    for (double threshold : {s.lowerThreshold, s.upperThreshold}) {
        if (panel.y.contains(threshold)) {
            const QString y = coordinate(panel.y.map(threshold));
            svg << "<line class=\"threshold\" x1=\"" << plotLeft << "\" x2=\"" << plotRight << "\" y1=\"" << y
                << "\" y2=\"" << y << "\" stroke=\"" << bandColour << "\" stroke-opacity=\"0.5\"/>\n";
        }
    }
    if (panel.y.contains(s.average)) {
        const QString y = coordinate(panel.y.map(s.average));
        svg << "<line class=\"average\" x1=\"" << plotLeft << "\" x2=\"" << plotRight << "\" y1=\"" << y << "\" y2=\""
            << y << "\" stroke=\"" << bandColour << "\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/>\n";
    }
}

void writePanel(QTextStream &svg, const SignalSeries &s, Panel panel)
{
    QString title = s.name.toHtmlEscaped();
    if (!s.unit.isEmpty()) {
        title += QStringLiteral(" [%1]").arg(s.unit.toHtmlEscaped());
    }
    if (!s.origin.isEmpty()) {
        title += QStringLiteral(" \u2014 ") + s.origin.toHtmlEscaped();
    }
    svg << "<g>\n<title>" << title << "</title>\n";
    svg << "<text x=\"" << plotLeft << "\" y=\"" << coordinate(panel.top + 20)
        << "\" font-size=\"14\" font-weight=\"bold\">" << title << "</text>\n";
    const QString plotArea = QStringLiteral("<rect class=\"plot-area\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"")
                                 .arg(plotLeft)
                                 .arg(coordinate(panel.plotTop))
                                 .arg(plotRight - plotLeft)
                                 .arg(coordinate(panel.plotBottom - panel.plotTop));
    const Range values = valueRange(s);
    writeTimeAxis(svg, panel);
    if (values.isEmpty()) {
        svg << plotArea << " fill=\"none\" stroke=\"#999\"/>\n";
        svg << "<text x=\"" << coordinate((plotLeft + plotRight) / 2.0) << "\" y=\""
            << coordinate((panel.plotTop + panel.plotBottom) / 2.0 + 5) << "\" font-size=\"14\" fill=\"#666\""
            << " text-anchor=\"middle\">" << (s.samples.isEmpty() ? "no samples" : "no finite samples")
            << "</text>\n</g>\n";
        return;
    }
    panel.y = Axis{values.low, values.high, panel.plotBottom, panel.plotTop};
    const Ticks valueTicks = ticks(values.low, values.high, 5);
    writeValueAxis(svg, panel, valueTicks, s.unit);
    writeLegend(svg, s, panel, valueTicks.decimals + 1);
    if (std::isfinite(s.lowerThreshold) && std::isfinite(s.upperThreshold)) {
        const double bandTop = panel.y.clampedMap(s.upperThreshold);
        const double bandBottom = panel.y.clampedMap(s.lowerThreshold);
        if (bandBottom > bandTop) {
            svg << "<rect class=\"band\" x=\"" << plotLeft << "\" y=\"" << coordinate(bandTop) << "\" width=\""
                << (plotRight - plotLeft) << "\" height=\"" << coordinate(bandBottom - bandTop) << "\" fill=\""
                << bandColour << "\" fill-opacity=\"0.15\"/>\n";
        }
    }
    writeHistory(svg, s.samples, panel);
    // Above the history, which covers them where a long log is squeezed into a few
    // hundred columns.
    writeBandLines(svg, s, panel);
    writeOutside(svg, s, panel);
    svg << plotArea << " fill=\"none\" stroke=\"#999\"/>\n</g>\n";
}
}

QByteArray svgPlot(const QVector<SignalSeries> &series)
{
    QString text;
    QTextStream svg(&text);
    const double height = std::max(1, series.size()) * panelHeight;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << imageWidth << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << imageWidth << ' ' << height << "\" font-family=\"sans-serif\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    const Range time = timeRange(series);
    const Ticks timeTicks = ticks(time.low, time.high, 10);
    for (int i = 0; i < series.size(); ++i) {
        Panel panel;
        panel.top = i * panelHeight;
        panel.plotTop = panel.top + plotTopOffset;
        panel.plotBottom = panel.top + panelHeight - plotBottomOffset;
        panel.x = Axis{time.low, time.high, plotLeft, plotRight};
        panel.timeTicks = timeTicks;
        writePanel(svg, series.at(i), panel);
    }
    svg << "</svg>\n";
    svg.flush();
    return text.toUtf8();
}
