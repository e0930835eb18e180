// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Quillon/StatisticCalculator.h>

#include <QtGlobal>

#include <variant>

/// The running calculator of a signal, in the element type that the signal's
/// data type selects. It lives inside its signal and is never copied or moved;
/// it is valueless only after the construction of a new calculator has thrown.
using CalculatorVariant = std::variant<StatisticCalculator<double>,
                                       StatisticCalculator<quint8>,
                                       StatisticCalculator<quint16>,
                                       StatisticCalculator<quint32>,
                                       StatisticCalculator<quint64>,
                                       StatisticCalculator<qint8>,
                                       StatisticCalculator<qint16>,
                                       StatisticCalculator<qint32>,
                                       StatisticCalculator<qint64>,
                                       StatisticCalculator<float>>;
