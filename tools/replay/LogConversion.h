// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "LogFormat.h"

#include <QString>

#include <optional>

/**
 * Writes the frames of a log, read in any format (inputFormat, or the one its
 * first line shows), into the file output, in the format its name ends in (see
 * LogWriter), with their own times. Tells on standard error how many frames went
 * over and in which formats, and the malformed records skipped. Returns the exit
 * status: done, or unreadable for a log that cannot be read or a file that cannot
 * be written.
 */
int convertLog(const QString &log, std::optional<LogFormat> inputFormat, const QString &output);
