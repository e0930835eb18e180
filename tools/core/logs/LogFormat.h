// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QString>

#include <cstddef>

/// The formats of recorded CAN logs that the programs read.
enum class LogFormat {
    Candump, ///< every layout of can-utils' candump
    Asc, ///< ASC text
    Blf, ///< BLF, binary
    Trc, ///< TRC text, versions 1.0 to 2.1
};

/// How a format is named and counted, once for every program.
struct LogFormatInfo
{
    LogFormat format;
    /// Its name on the command line (--input-format) and in a written file's suffix.
    const char *option;
    /// Its name in reports and messages.
    const char *name;
    /// What its records are: "line", or "object" in BLF.
    const char *record;
    /// The suffix of a file that the programs write in it; null where they write none.
    const char *writtenSuffix;
};

const LogFormatInfo &logFormatInfo(LogFormat format);
/// The format named on the command line; false for none.
bool logFormatNamed(const QString &option, LogFormat &format);
/// "candump, asc, blf or trc": the names that logFormatNamed() takes.
QString logFormatOptions();
/// The format written into a file of this name; false for a suffix of none.
bool logFormatWritten(const QString &fileName, LogFormat &format);
/// ".log, .asc or .blf": the suffixes that logFormatWritten() takes.
QString writtenSuffixes();

/// The format of a log whose first bytes are given: up to the end of its first
/// line, or all there is when it is shorter. A BLF starts with "LOGG", an ASC
/// with "date", "base" or a "//" comment, a TRC with ';'; anything else is read
/// as candump's.
LogFormat detectLogFormat(const char *start, std::size_t size);
