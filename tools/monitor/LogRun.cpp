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

// Reads one log into a session, and keeps the account of its lines.
class LogRun
{
public:
    LogRun(const MonitorOptions &options, Session &session, int fd, QVector<MalformedLine> &malformed)
        : options(options)
        , session(session)
        , summary(session.summary())
        , malformed(malformed)
        , reader(fd, session.interfaces(), StopRequest::wakeFd())
        , progress(fileSize(fd), ProgressBar::wanted(fileSize(fd)))
    {
        summary.input = options.input;
    }

    int run()
    {
        // Polled between frames: reading a file never waits for the stop's wake-up.
        bool reading = true;
        while (reading && !StopRequest::requested()) {
            reading = step();
        }
        progress.finish();
        if (status == ExitStatus::unreadable) {
            return status;
        }
        if (StopRequest::requested()) {
            summary.ending = QLatin1String(StopRequest::signalName());
        }
        if (wallClock) {
            session.clockAt(nowMicroseconds());
        }
        // Under --strict, the report covers the lines before the malformed one.
        summary.lines = static_cast<quint64>(reader.lineNumber()) - (status == ExitStatus::malformedStrict ? 1 : 0);
        summary.inputBytes = reader.bytesRead();
        summary.canonicalInput = QFileInfo(options.input).canonicalFilePath();
        summary.seconds = session.monitor().lastLogSeconds();
        return notACanLog() ? ExitStatus::unreadable : status;
    }

private:
    // Takes the next line; false when the run ends.
    bool step()
    {
        if (wallClock) {
            reader.setWaitLimit(session.millisecondsToSnapshot(nowMicroseconds()));
        }
        const LogReader::Next next = reader.next(frame);
        if ((reader.lineNumber() & 0xFFF) == 0) {
            progress.update(reader.bytesRead());
        }
        switch (next) {
        case LogReader::Next::Frame:
            // Lines without a time (candump's default layout) are stamped as they
            // are read: the wall clock is then the log's clock, and it runs on
            // while no line comes.
            if (session.monitor().frameCount() == 0) {
                wallClock = !reader.timed();
            }
            return session.logFrame(frame);
        case LogReader::Next::TimedOut:
            return session.clockAt(nowMicroseconds());
        case LogReader::Next::ErrorFrame:
            ++summary.errorFrames;
            return true;
        case LogReader::Next::Malformed:
            return takeMalformed();
        case LogReader::Next::ReadError:
            progress.finish();
            complain(QStringLiteral("reading %1 failed: %2").arg(options.input, reader.readError()));
            status = ExitStatus::unreadable;
            return false;
        case LogReader::Next::End:
        case LogReader::Next::Interrupted:
            break;
        }
        return false;
    }

    // Counts the line and keeps the first few; under --strict, ends the run.
    bool takeMalformed()
    {
        const MalformedLine line{reader.lineNumber(), QString::fromLatin1(reader.error()), printable(reader.line())};
        if (options.strict) {
            progress.finish();
            complain(QStringLiteral("line %1 is malformed (%2): %3").arg(line.lineNumber).arg(line.why, line.text));
            summary.ending = QStringLiteral("malformed line");
            status = ExitStatus::malformedStrict;
            return false;
        }
        ++summary.malformedLines;
        if (malformed.size() < shownMalformedLines) {
            malformed.append(line);
        }
        return true;
    }

    // Lines that are not blank, of which none is a frame: binary data, or a JSON
    // file given by mistake.
    bool notACanLog() const
    {
        if (session.monitor().frameCount() > 0 || summary.errorFrames > 0 || summary.malformedLines == 0) {
            return false;
        }
        complain(QStringLiteral("%1 is not a CAN log: none of its %2 lines is a frame (line %3: %4)")
                     .arg(options.input)
                     .arg(summary.lines)
                     .arg(malformed.first().lineNumber)
                     .arg(malformed.first().why));
        return true;
    }

    const MonitorOptions &options;
    Session &session;
    RunSummary &summary;
    QVector<MalformedLine> &malformed;
    LogReader reader;
    ProgressBar progress;
    CanFrame frame;
    bool wallClock = false;
    int status = ExitStatus::done;
};
}

int readLog(const MonitorOptions &options, Session &session, QVector<MalformedLine> &malformed)
{
    const Descriptor log(openLog(options.input));
    if (log.fd < 0) {
        return ExitStatus::unreadable;
    }
    return LogRun(options, session, log.fd, malformed).run();
}
