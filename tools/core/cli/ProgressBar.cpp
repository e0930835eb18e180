// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ProgressBar.h"

#include <cstdio>
#include <unistd.h>

ProgressBar::ProgressBar(qint64 total, bool enabled)
    : total(total)
    , enabled(enabled && total > 0)
{
}

void ProgressBar::update(qint64 done)
{
    if (!enabled) {
        return;
    }
    const int percent = static_cast<int>(qBound<qint64>(0, done * 100 / total, 100));
    if (percent == shownPercent) {
        return;
    }
    shownPercent = percent;
    constexpr int width = 40;
    char bar[width + 1];
    for (int i = 0; i < width; ++i) {
        bar[i] = i < percent * width / 100 ? '#' : '.';
    }
    bar[width] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    std::fflush(stderr);
}

void ProgressBar::finish()
{
    if (enabled && shownPercent >= 0) {
        std::fprintf(stderr, "\r%*s\r", 48, "");
        std::fflush(stderr);
    }
}

bool ProgressBar::wanted(qint64 size, qint64 minimumBytes)
{
    return size >= minimumBytes && isatty(STDERR_FILENO) == 1;
}
