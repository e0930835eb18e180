// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QString>

/// Qt's plugins and the interfaces each reports, a line each, for --list-buses.
QString describeBuses();

/// Call first thing in main(). Keeps Qt SerialBus's own chatter (plugin start-up,
/// connects) off standard error, as our messages carry Qt's error text
/// (QT_LOGGING_RULES still wins). And pins the time zone: virtualcan stamps every
/// frame with the local time, for which the C library would otherwise look at
/// /etc/localtime again on every frame.
void prepareQtSerialBus();
