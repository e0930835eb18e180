// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogWriter.h"
#include "asc/AscWriter.h"
#include "blf/BlfWriter.h"
#include "candump/CandumpWriter.h"

namespace
{
// Bytes gathered before they go to the file.
constexpr int pendingLimit = 1 << 16;
}

LogWriter::LogWriter(LogFormat format, const QString &fileName, const InterfaceNames &interfaces)
    : file(fileName)
    , writtenFormat(format)
    , channels(interfaces)
{
}

LogWriter::~LogWriter() = default;

std::unique_ptr<LogWriter> LogWriter::create(const QString &fileName, const InterfaceNames &interfaces, QString &error)
{
    LogFormat format = LogFormat::Candump;
    if (!logFormatWritten(fileName, format)) {
        error = QStringLiteral("%1: a log is written as candump's (.log), ASC or BLF: give a name that ends in %2")
                    .arg(fileName, writtenSuffixes());
        return nullptr;
    }
    std::unique_ptr<LogWriter> writer;
    if (format == LogFormat::Asc) {
        writer = std::make_unique<AscWriter>(fileName, interfaces);
    } else if (format == LogFormat::Blf) {
        writer = std::make_unique<BlfWriter>(fileName, interfaces);
    } else {
        writer = std::make_unique<CandumpWriter>(fileName, interfaces);
    }
    if (!writer->file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("cannot write %1: %2").arg(fileName, writer->file.errorString());
        return nullptr;
    }
    return writer;
}

void LogWriter::write(const CanFrame &frame, bool errorFrame)
{
    writeFrame(frame, errorFrame);
    ++written;
}

bool LogWriter::finish(QString &error)
{
    writeEnd();
    flush();
    file.close();
    if (failed || file.error() != QFileDevice::NoError) {
        error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

LogFormat LogWriter::format() const
{
    return writtenFormat;
}

quint64 LogWriter::frames() const
{
    return written;
}

void LogWriter::put(const char *bytes, std::size_t size)
{
    pending.append(bytes, static_cast<int>(size));
    if (pending.size() >= pendingLimit) {
        flush();
    }
}

void LogWriter::put(const QByteArray &bytes)
{
    put(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void LogWriter::flush()
{
    if (!pending.isEmpty() && file.write(pending) != pending.size()) {
        failed = true;
    }
    pending.clear();
}

quint32 LogWriter::channel(const CanFrame &frame)
{
    return channels.channel(frame.interfaceIndex);
}
