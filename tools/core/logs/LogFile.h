// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "InterfaceNames.h"
#include "LogReader.h"

#include <QString>

#include <memory>

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
    /// A reader of the log's frames in its format (candump's, the one format
    /// read), from where the log stands. While waiting for input it also watches
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
};
