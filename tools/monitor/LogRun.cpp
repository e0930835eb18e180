// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogReader.h"
#include "ProgressBar.h"
#include "Runs.h"
#include "StopRequest.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr int shownMalformedLines = 5;

// The line as a person can read it in a terminal: printable ASCII, at most 80 characters.
QString printable(const QByteArray &line)
{
    QString text;
    for (int i = 0; i < line.size() && i < 80; ++i) {
        const char c = line.at(i);
        text += c >= 0x20 && c < 0x7F ? QLatin1Char(c) : QLatin1Char('?');
    }
    return line.size() > 80 ? text + QStringLiteral("...") : text;
}

// The log's descriptor, or -1 after a message.
int openLog(const QString &name)
{
    if (name == QLatin1String("-")) {
        return STDIN_FILENO;
    }
    if (QFileInfo(name).isDir()) {
        complain(QStringLiteral("cannot read %1: it is a directory").arg(name));
        return -1;
    }
    const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        complain(QStringLiteral("cannot read %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno))));
    }
    return fd;
}

qint64 fileSize(int fd)
{
    struct stat status = {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? static_cast<qint64>(status.st_size) : 0;
}

class Descriptor
{
public:
    explicit Descriptor(int fd)
        : fd(fd)
    {
    }
    ~Descriptor()
    {
        if (fd > STDIN_FILENO) {
            ::close(fd);
        }
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    const int fd;
};
}

int readLog(const MonitorOptions &options, Session &session, QVector<MalformedLine> &malformed)
{
    const Descriptor log(openLog(options.input));
    if (log.fd < 0) {
        return ExitStatus::unreadable;
    }
    RunSummary &summary = session.summary();
    summary.input = options.input;
    LogReader reader(log.fd, session.interfaces(), StopRequest::wakeFd());
    const qint64 size = fileSize(log.fd);
    ProgressBar progress(size, ProgressBar::wanted(size));
    CanFrame frame;
    for (;;) {
        // Polled between frames: reading a file never waits for the stop's wake-up.
        if (StopRequest::requested()) {
            break;
        }
        const LogReader::Next next = reader.next(frame);
        if ((reader.lineNumber() & 0xFFF) == 0) {
            progress.update(reader.bytesRead());
        }
        if (next == LogReader::Next::End || next == LogReader::Next::Interrupted) {
            break;
        }
        if (next == LogReader::Next::ReadError) {
            progress.finish();
            complain(QStringLiteral("reading %1 failed: %2").arg(options.input, reader.readError()));
            return ExitStatus::unreadable;
        }
        if (next == LogReader::Next::ErrorFrame) {
            ++summary.errorFrames;
            continue;
        }
        if (next == LogReader::Next::Malformed) {
            ++summary.malformedLines;
            const MalformedLine line{reader.lineNumber(),
                                     QString::fromLatin1(reader.error()),
                                     printable(reader.line())};
            if (options.strict) {
                progress.finish();
                complain(QStringLiteral("line %1 is malformed (%2): %3").arg(line.lineNumber).arg(line.why, line.text));
                return ExitStatus::malformedStrict;
            }
            if (malformed.size() < shownMalformedLines) {
                malformed.append(line);
            }
            continue;
        }
        session.logFrame(frame);
    }
    progress.finish();
    if (StopRequest::requested()) {
        summary.ending = QLatin1String(StopRequest::signalName());
    }
    summary.lines = static_cast<quint64>(reader.lineNumber());
    summary.inputBytes = reader.bytesRead();
    summary.canonicalInput = QFileInfo(options.input).canonicalFilePath();
    summary.seconds = session.monitor().lastLogSeconds();
    return ExitStatus::done;
}
