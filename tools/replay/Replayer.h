// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "BusConnection.h"
#include "FrameTimes.h"
#include "InterfaceNames.h"
#include "LogFile.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

/**
 * Writes the frames of a log onto a bus at their recorded pace, scaled by a
 * speed factor, or as fast as the bus takes them. The log is read as it is
 * played, so its length costs no memory.
 */
class Replayer
{
public:
    struct Settings
    {
        QString log;
        BusAddress bus;
        /// 2 plays twice as fast as recorded; 0 plays as fast as possible.
        double speed = 1.0;
        /// Start over at the end, until stopped.
        bool loop = false;
        /// The log's format, whatever its first line shows.
        std::optional<LogFormat> inputFormat;
    };

    /// What the replay did, for the closing line.
    struct Outcome
    {
        int status = 0;
        quint64 framesSent = 0;
        /// Malformed records of the log, lines or BLF objects.
        quint64 malformedLines = 0;
        double seconds = 0.0;
        LogFormat format = LogFormat::Candump;
    };

    explicit Replayer(const Settings &settings);
    Replayer(const Replayer &) = delete;
    Replayer &operator=(const Replayer &) = delete;

    /// Plays the log; returns when it is played, on a stop request, or on a failure
    /// (after a message on standard error).
    Outcome run();

    /// The slowest --speed: a hundred times slower than recorded.
    static constexpr double minimumSpeed = 0.01;
    /// How long the frames still buffered at the end may take to go out.
    static constexpr int drainTimeoutMs = 10000;

private:
    bool openLog();
    void start();
    void drain();
    void sendDue();
    bool backlogged() const;
    void retryWrite();
    bool nextFrame();
    void schedule();
    void fail(const QString &message, int status);
    void finish();

    Settings settings;
    BusConnection bus;
    /// The socket of a plugin that reaches its bus through one, or null.
    QAbstractSocket *transport = nullptr;
    InterfaceNames interfaces;
    LogFile log;
    std::unique_ptr<LogReader> reader;
    CanFrame pending;
    bool havePending = false;
    bool finished = false;
    int failedWrites = 0;
    static constexpr int maxFailedWrites = 1000;
    /// The stamps of this round of --loop.
    FrameTimes times;
    /// Log time already played by earlier rounds.
    qint64 roundOffsetMicroseconds = 0;
    QElapsedTimer clock;
    QTimer sendTimer;
    QEventLoop loop;
    QSocketNotifier stopNotifier;
    Outcome outcome;
};
