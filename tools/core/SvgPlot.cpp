// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SvgPlot.h"

#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace
{
constexpr double imageWidth = 960.0;
constexpr double panelHeight = 200.0;
constexpr double left = 80.0;
constexpr double right = 20.0;
constexpr double top = 30.0;
constexpr double bottom = 30.0;
constexpr int maxMarkers = 2000;

QString xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString coordinate(double value)
{
    return QString::number(value, 'f', 1);
}

struct Range
{
    double low = 0.0;
    double high = 1.0;

    void include(double value)
    {
        if (std::isfinite(value)) {
            low = std::min(low, value);
            high = std::max(high, value);
        }
    }
    // A flat range still gets some height.
    void widen()
    {
        if (high - low < 1e-9) {
            low -= 1.0;
            high += 1.0;
        }
    }
};

// Maps log time and value into one panel.
struct Panel
{
    Range time;
    Range value;
    double y0 = 0.0;

    double x(double t) const
    {
        return left + (t - time.low) / (time.high - time.low) * (imageWidth - left - right);
    }
    double y(double v) const
    {
        const double inner = panelHeight - top - bottom;
        const double clamped = std::clamp(v, value.low, value.high);
        return y0 + top + (value.high - clamped) / (value.high - value.low) * inner;
    }
};

Range timeRange(const QVector<SignalSeries> &series)
{
    Range range{INFINITY, -INFINITY};
    for (const SignalSeries &s : series) {
        for (const QPointF &p : s.samples) {
            range.include(p.x());
        }
    }
    if (!(range.low <= range.high)) {
        range = Range{0.0, 1.0};
    }
    range.widen();
    return range;
}

Range valueRange(const SignalSeries &s)
{
    Range range{INFINITY, -INFINITY};
    for (const QPointF &p : s.samples) {
        range.include(p.y());
    }
    if (!(range.low <= range.high)) {
        return Range{0.0, 1.0};
    }
    range.include(s.lowerThreshold);
    range.include(s.upperThreshold);
    range.widen();
    return range;
}

void writePanel(QTextStream &svg, const SignalSeries &s, const Panel &panel)
{
    const double plotRight = imageWidth - right;
    const double plotTop = panel.y0 + top;
    const double plotBottom = panel.y0 + panelHeight - bottom;
    svg << "<g>\n<title>" << xmlEscaped(s.name) << "</title>\n";
    svg << "<rect x=\"" << left << "\" y=\"" << coordinate(plotTop) << "\" width=\"" << (plotRight - left)
        << "\" height=\"" << coordinate(plotBottom - plotTop) << "\" fill=\"none\" stroke=\"#999\"/>\n";
    svg << "<text x=\"" << left << "\" y=\"" << coordinate(panel.y0 + 20) << "\" font-size=\"14\">"
        << xmlEscaped(s.name) << (s.unit.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(xmlEscaped(s.unit)))
        << "  (" << s.samples.size() << " stored, " << s.outside.size() << " outside the band)</text>\n";
    for (double v : {panel.value.low, panel.value.high}) {
        svg << "<text x=\"" << coordinate(left - 5) << "\" y=\"" << coordinate(panel.y(v) + 4)
            << "\" font-size=\"11\" text-anchor=\"end\">" << QString::number(v, 'g', 6) << "</text>\n";
    }
    svg << "<text x=\"" << left << "\" y=\"" << coordinate(plotBottom + 15) << "\" font-size=\"11\">"
        << QString::number(panel.time.low, 'f', 2) << " s</text>\n";
    svg << "<text x=\"" << plotRight << "\" y=\"" << coordinate(plotBottom + 15)
        << "\" font-size=\"11\" text-anchor=\"end\">" << QString::number(panel.time.high, 'f', 2) << " s</text>\n";
    if (s.samples.isEmpty()) {
        svg << "</g>\n";
        return;
    }
    const double bandTop = panel.y(s.upperThreshold);
    svg << "<rect x=\"" << left << "\" y=\"" << coordinate(bandTop) << "\" width=\"" << (plotRight - left)
        << "\" height=\"" << coordinate(panel.y(s.lowerThreshold) - bandTop)
        << "\" fill=\"#4a90d9\" fill-opacity=\"0.15\"/>\n";
    svg << "<line x1=\"" << left << "\" x2=\"" << plotRight << "\" y1=\"" << coordinate(panel.y(s.average))
        << "\" y2=\"" << coordinate(panel.y(s.average)) << "\" stroke=\"#4a90d9\" stroke-dasharray=\"6 4\"/>\n";
    svg << "<polyline fill=\"none\" stroke=\"#222\" stroke-width=\"1\" points=\"";
    const int stride = std::max(1, s.samples.size() / static_cast<int>(imageWidth - left - right));
    for (int i = 0; i < s.samples.size(); i += stride) {
        const QPointF &p = s.samples.at(i);
        svg << coordinate(panel.x(p.x())) << ',' << coordinate(panel.y(p.y())) << ' ';
    }
    svg << "\"/>\n";
    for (int i = 0; i < std::min(s.outside.size(), maxMarkers); ++i) {
        const QPointF &p = s.outside.at(i);
        svg << "<circle cx=\"" << coordinate(panel.x(p.x())) << "\" cy=\"" << coordinate(panel.y(p.y()))
            << "\" r=\"3\" fill=\"#d0021b\"/>\n";
    }
    svg << "</g>\n";
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
    for (int i = 0; i < series.size(); ++i) {
        Panel panel;
        panel.time = time;
        panel.value = valueRange(series.at(i));
        panel.y0 = i * panelHeight;
        writePanel(svg, series.at(i), panel);
    }
    svg << "</svg>\n";
    svg.flush();
    return text.toUtf8();
}
