// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QString>

/// Writes "PROGRAM: message" on standard error at once, PROGRAM being the
/// application's name: every program's way to tell its user what went wrong, or
/// how a run went.
void complain(const QString &message);
