// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MedianNear.h"

#include <limits>

std::optional<double> medianNear(const QList<double> &values, double guess)
{
    const int n = values.size();
    int below = 0;
    int equal = 0;
    int above = 0;
    double nearestBelow = -std::numeric_limits<double>::infinity();
    double nearestAbove = std::numeric_limits<double>::infinity();
    for (const double value : values) {
        below += value < guess;
        equal += value == guess;
        above += value > guess;
        nearestBelow = value < guess && value > nearestBelow ? value : nearestBelow;
        nearestAbove = value > guess && value < nearestAbove ? value : nearestAbove;
    }
    // A NaN compares false every way and would go uncounted.
    if (n == 0 || below + equal + above != n) {
        return std::nullopt;
    }
    // The value at index in sorted order, where the counts tell it.
    const auto at = [&](int index) -> std::optional<double> {
        if (index == below - 1) {
            return nearestBelow;
        }
        if (index >= below && index < below + equal) {
            return guess;
        }
        if (index == below + equal) {
            return nearestAbove;
        }
        return std::nullopt;
    };
    const std::optional<double> upper = at(n / 2);
    if (!upper || n % 2 != 0) {
        return upper;
    }
    const std::optional<double> lower = at(n / 2 - 1);
    if (!lower) {
        return std::nullopt;
    }
    return *lower / 2.0 + *upper / 2.0;
}
