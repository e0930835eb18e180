// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "Monitor.h"

#include <QByteArray>

/// An SVG image with one panel per signal: its history against log time, the band
/// shaded, the band average dashed and the samples outside the band marked in red.
/// Long histories are thinned to about one point per pixel column.
QByteArray svgPlot(const QVector<SignalSeries> &series);
