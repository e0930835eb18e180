// SPDX-License-Identifier: LGPL-2.1-or-later
#include "J1939Diagnostics.h"

namespace
{
const char *const stateTexts[] = {"off", "on", "slow flash", "fast flash", "not available"};
}

QString lampStateText(LampState state)
{
    return QString::fromLatin1(stateTexts[static_cast<int>(state)]);
}

LampState lampStateOf(const QString &text)
{
    for (int i = 0; i < static_cast<int>(LampState::NotAvailable); ++i) {
        if (text == QLatin1String(stateTexts[i])) {
            return static_cast<LampState>(i);
        }
    }
    return LampState::NotAvailable;
}
