// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

/// A one-line bar on standard error, redrawn when the whole percent changes.
/// Does nothing unless enabled.
class ProgressBar
{
public:
    ProgressBar(qint64 total, bool enabled);
    void update(qint64 done);
    /// Clears the bar's line.
    void finish();

    /// Whether a bar helps for this input: a file of at least minimumBytes, and a
    /// terminal on standard error.
    static bool wanted(qint64 size, qint64 minimumBytes = 4 * 1024 * 1024);

private:
    qint64 total;
    bool enabled;
    int shownPercent = -1;
};
