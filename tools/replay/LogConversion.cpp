// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogConversion.h"
#include "ExitStatus.h"
#include "LogFile.h"
#include "LogWriter.h"
#include "MalformedLines.h"
#include "Messages.h"
#include "StopRequest.h"

#include <QFileInfo>

int convertLog(const QString &log, std::optional<LogFormat> inputFormat, const QString &output)
{
    LogFile input;
    QString error;
    if (!input.open(log, error)) {
        complain(error);
        return ExitStatus::unreadable;
    }
    if (!input.canonicalPath().isEmpty() && input.canonicalPath() == QFileInfo(output).canonicalFilePath()) {
        complain(QStringLiteral("--write %1 would overwrite the log it reads").arg(output));
        return ExitStatus::unreadable;
    }
    if (inputFormat) {
        input.setFormat(*inputFormat);
    }
    InterfaceNames interfaces;
    const std::unique_ptr<LogWriter> writer = LogWriter::create(output, interfaces, error);
    if (!writer) {
        complain(error);
        return ExitStatus::unreadable;
    }
    const std::unique_ptr<LogReader> reader = input.reader(interfaces, StopRequest::wakeFd());
    MalformedLines malformed;
    CanFrame frame;
    int status = ExitStatus::done;
    for (bool reading = true; reading && !StopRequest::requested();) {
        const LogReader::Next next = reader->next(frame);
        switch (next) {
        case LogReader::Next::Frame:
        case LogReader::Next::ErrorFrame:
            writer->write(frame, next == LogReader::Next::ErrorFrame);
            break;
        case LogReader::Next::Malformed:
            malformed.add(MalformedLine::of(*reader));
            break;
        case LogReader::Next::ReadError:
            complain(QStringLiteral("reading %1 failed: %2").arg(log, reader->readError()));
            status = ExitStatus::unreadable;
            reading = false;
            break;
        case LogReader::Next::End:
        case LogReader::Next::Interrupted:
        case LogReader::Next::TimedOut:
            reading = false;
            break;
        }
    }
    if (!writer->finish(error)) {
        complain(error);
        return ExitStatus::unreadable;
    }
    complain(QStringLiteral("%1 frames read as %2, written to %3 as %4")
                 .arg(writer->frames())
                 .arg(QLatin1String(logFormatInfo(reader->format()).name),
                      output,
                      QLatin1String(logFormatInfo(writer->format()).name)));
    malformed.tell();
    return status;
}
