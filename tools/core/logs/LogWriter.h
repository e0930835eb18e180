// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "ChannelNames.h"
#include "InterfaceNames.h"
#include "LogFormat.h"

#include <QFile>

#include <memory>

/**
 * A log written frame by frame into a file, in a format that the programs read
 * back: candump's compact layout (.log), ASC or BLF. Channels are numbered as
 * ChannelNumbers says; frames are written as received, without bit rate switch
 * or error state, which the frames do not keep.
 */
class LogWriter
{
public:
    virtual ~LogWriter();
    LogWriter(const LogWriter &) = delete;
    LogWriter &operator=(const LogWriter &) = delete;

    /// Opens fileName for writing in the format its suffix names (see
    /// writtenSuffixes()); null, with the message in error, where it cannot.
    /// Interfaces are named by the index the frames carry.
    static std::unique_ptr<LogWriter> create(const QString &fileName, const InterfaceNames &interfaces, QString &error);

    /// A frame, or an error frame, of which the time and interface are written.
    void write(const CanFrame &frame, bool errorFrame);
    /// Writes what the format puts at the end and closes the file; false, with
    /// the message in error, when writing failed at any point.
    bool finish(QString &error);

    LogFormat format() const;
    quint64 frames() const;

protected:
    LogWriter(LogFormat format, const QString &fileName, const InterfaceNames &interfaces);

    virtual void writeFrame(const CanFrame &frame, bool errorFrame) = 0;
    /// What ends the log; the file is still open.
    virtual void writeEnd() = 0;

    void put(const char *bytes, std::size_t size);
    void put(const QByteArray &bytes);
    /// Writes the bytes put so far into the file.
    void flush();
    quint32 channel(const CanFrame &frame);

    QFile file;

private:
    LogFormat writtenFormat;
    ChannelNumbers channels;
    QByteArray pending;
    quint64 written = 0;
    bool failed = false;
};
