// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QString>

/// What talveno-monitor --help says about the program, before its options.
QString monitorDescription();
