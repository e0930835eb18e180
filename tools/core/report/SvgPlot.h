// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "SignalSnapshot.h"

#include <QByteArray>

/**
 * An SVG image with one panel per signal: its history against log time, the band
 * shaded, the band average dashed and the samples outside the band marked in red,
 * with round-valued ticks, gridlines, axis titles and a legend per panel.
 *
 * All panels share one time axis, from the first to the last stored sample of any
 * signal. A panel's value axis spans its samples (plus a twentieth on either side);
 * the band and the average are clipped to it rather than stretching it.
 *
 * Histories of any length are reduced per pixel column: the history line keeps
 * each column's first, last, lowest and highest sample, and each column with
 * samples outside the band gets one red mark above the band and one below,
 * reaching from the least to the most extreme of them, so every excursion is drawn
 * and the image size does not grow with the log. The marks have class "outside" (a
 * circle, or a line when they span more than a pixel), a panel's history line
 * class "history" and its plot area class "plot-area".
 *
 * Samples with a non-finite time or value are left out; a signal without drawable
 * samples gets an empty panel that says so.
 */
QByteArray svgPlot(const QVector<SignalSeries> &series);
