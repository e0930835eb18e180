// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QList>

#include <optional>

/**
 * The median of values, as StatisticCalculator<double>::getMedian() gives it,
 * when it can be told from one pass against a guess: the middle value (or the
 * mean of the two middle values) is the guess itself, or the nearest value on
 * either side of it. A history's median seldom moves far between two scrapes,
 * so the previous one usually settles it without a selection.
 *
 * Empty when the pass cannot tell, also when values or the guess hold a NaN
 * and for no values at all: the caller then selects.
 */
std::optional<double> medianNear(const QList<double> &values, double guess);
