// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ExitStatus.h"
#include "Messages.h"
#include "ProgressBar.h"
#include "Runs.h"
#include "StopRequest.h"

namespace
{
// Reads one log into a session, and keeps the account of its lines.
class LogRun
{
public:
    LogRun(const MonitorOptions &options, const LogFile &log, Session &session, MalformedLines &malformed)
        : options(options)
        , log(log)
        , session(session)
        , summary(session.summary())
        , counts(session.input(0))
        , malformed(malformed)
        , reader(log.reader(session.interfaces(), StopRequest::wakeFd()))
        , progress(log.size(), ProgressBar::wanted(log.size()))
    {
        summary.input = log.name();
        summary.inputFormat = QLatin1String(logFormatInfo(reader->format()).name);
        summary.records = QLatin1String(logFormatInfo(reader->format()).record) + QLatin1Char('s');
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
            session.endByStopRequest();
        }
        if (wallClock) {
            session.clockAt(nowMicroseconds());
        }
        // Under --strict, the report covers the lines before the malformed one.
        summary.lines = static_cast<quint64>(reader->lineNumber()) - (status == ExitStatus::malformedStrict ? 1 : 0);
        summary.malformedLines = malformed.count();
        summary.inputBytes = reader->bytesRead();
        summary.skippedRecords = reader->skipped();
        summary.canonicalInput = log.canonicalPath();
        summary.seconds = session.monitor().lastLogSeconds();
        return notACanLog() ? ExitStatus::unreadable : status;
    }

private:
    // Takes the next line; false when the run ends.
    bool step()
    {
        if (wallClock) {
            reader->setWaitLimit(session.millisecondsToSnapshot(nowMicroseconds()));
        }
        const LogReader::Next next = reader->next(frame);
        // Counted here, so that a frame pays no call into the reader for the bar.
        if ((++steps & 0xFFF) == 0) {
            progress.update(reader->bytesRead());
        }
        switch (next) {
        case LogReader::Next::Frame:
            // Lines without a time (candump's default layout) are stamped as they
            // are read: the wall clock is then the log's clock, and it runs on
            // while no line comes.
            if (!framed) {
                framed = true;
                wallClock = !reader->timed();
            }
            ++counts.frames;
            return session.logFrame(frame);
        case LogReader::Next::TimedOut:
            return session.clockAt(nowMicroseconds());
        case LogReader::Next::ErrorFrame:
            ++counts.errorFrames;
            return true;
        case LogReader::Next::Malformed:
            return takeMalformed();
        case LogReader::Next::ReadError:
            progress.finish();
            complain(QStringLiteral("reading %1 failed: %2").arg(log.name(), reader->readError()));
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
        const MalformedLine line = MalformedLine::of(*reader);
        if (options.strict) {
            progress.finish();
            complain(QStringLiteral("%1 %2 is malformed (%3): %4")
                         .arg(QLatin1String(line.record))
                         .arg(line.lineNumber)
                         .arg(line.why, line.text));
            summary.ending = Ending::MalformedLine;
            status = ExitStatus::malformedStrict;
            return false;
        }
        malformed.add(line);
        ++counts.malformedLines;
        return true;
    }

    // Records that are not blank, of which none is a frame: binary data, or a
    // JSON file given by mistake.
    bool notACanLog() const
    {
        if (session.monitor().frameCount() > 0 || counts.errorFrames > 0 || malformed.count() == 0) {
            return false;
        }
        const MalformedLine &first = malformed.first().first();
        complain(QStringLiteral("%1 is not a CAN log: none of its %2 %3 is a frame (%4 %5: %6)")
                     .arg(log.name())
                     .arg(summary.lines)
                     .arg(summary.records)
                     .arg(QLatin1String(first.record))
                     .arg(first.lineNumber)
                     .arg(first.why));
        return true;
    }

    const MonitorOptions &options;
    const LogFile &log;
    Session &session;
    RunSummary &summary;
    InputCounts &counts;
    MalformedLines &malformed;
    const std::unique_ptr<LogReader> reader;
    ProgressBar progress;
    CanFrame frame;
    quint64 steps = 0;
    /// Whether a frame came yet: the first one tells whether the log is timed.
    bool framed = false;
    bool wallClock = false;
    int status = ExitStatus::done;
};
}

int readLog(const MonitorOptions &options, const LogFile &log, Session &session, MalformedLines &malformed)
{
    return LogRun(options, log, session, malformed).run();
}
