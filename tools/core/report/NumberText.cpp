// SPDX-License-Identifier: LGPL-2.1-or-later
#include "NumberText.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace NumberText
{
QString exact(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString exactTime(double seconds)
{
    return QString::number(seconds, 'f', QLocale::FloatingPointShortest);
}

QString readable(double value)
{
    if (!std::isfinite(value)) {
        return exact(value);
    }
    const QString shortest = exact(value);
    int digits = 0;
    bool leading = true;
    for (const QChar c : shortest) {
        if (c == QLatin1Char('e')) {
            break;
        }
        if (c.isDigit() && !(leading && c == QLatin1Char('0'))) {
            ++digits;
            leading = false;
        }
    }
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e10);
    if (digits <= 10) {
        return plain ? exactTime(value) : shortest;
    }
    // Whole digits are never cut to an exponent.
    const int wholeDigits = magnitude >= 1.0 ? static_cast<int>(std::floor(std::log10(magnitude))) + 1 : 1;
    return QString::number(value, 'g', plain ? std::max(7, wholeDigits) : 7);
}

int decimalsOf(double factor)
{
    if (factor == 0.0 || !std::isfinite(factor)) {
        return -1;
    }
    const QString text = exactTime(std::fabs(factor));
    const int point = text.indexOf(QLatin1Char('.'));
    return qBound(1, point < 0 ? 0 : text.size() - point - 1, 4);
}

QString value(double value, int decimals)
{
    return decimals >= 0 && std::fabs(value) < 1e15 ? QString::number(value, 'f', decimals) : readable(value);
}
}
