// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QString>

/// How reports write numbers.
namespace NumberText
{
/// The shortest text that reads back as the same double: for CSV and JSON.
QString exact(double value);
/// As exact(), never in exponent notation: for times.
QString exactTime(double seconds);
/// For a person: a value with a short exact decimal in full (438978.375), any
/// other with 7 significant digits; never in exponent notation within 1e-4 to 1e10.
QString readable(double value);
/// The decimals in which a person reads a signal's values: those of its
/// resolution, the factor (0.125 rpm gives 3); at least one, so that an average or
/// a deviation of whole numbers keeps a first decimal, and at most four, which a
/// reader of a physical value never misses (1/256 km/h would take eight); -1 for
/// an unknown factor (0, or not finite).
int decimalsOf(double factor);
/// A value in the given decimals (none known: -1), or readable() where it is too
/// large for them.
QString value(double value, int decimals);
}
