// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "InterfaceNames.h"
#include "LogFormat.h"
#include "LogReader.h"

#include <QString>

#include <memory>
#include <optional>

/// A log opened for reading, as the monitor and the replay open it: a file by
/// its name, or standard input as "-".
class LogFile
{
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    /// Opens the named log, closing the one opened before. False, with "cannot
    /// read NAME: why" in error, when it cannot be read: also a directory, and a
    /// standard input that was closed when the program started.
    bool open(const QString &name, QString &error);
    /// Reads the log in this format, whatever its first bytes show.
    void setFormat(LogFormat format);
    /// A reader of the log's frames, from where the log stands, in the format
    /// set, or else in the one its first line shows (see detectLogFormat()),
    /// which it waits for on a pipe. While waiting for input it also watches
    /// wakeFd (if not -1); see LogReader.
    std::unique_ptr<LogReader> reader(InterfaceNames &interfaces, int wakeFd) const;

    const QString &name() const;
    /// The size in bytes of a regular file; 0 for a pipe or a terminal.
    qint64 size() const;
    /// The file's canonical path; empty for standard input.
    QString canonicalPath() const;

private:
    void close();

    QString logName;
    int fd = -1;
    std::optional<LogFormat> chosenFormat;
};
