// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Replayer.h"
#include "BusFrames.h"
#include "ExitStatus.h"
#include "Messages.h"
#include "StopRequest.h"

#include <QAbstractSocket>

#include <algorithm>
#include <cmath>

namespace
{
// Frames written in one turn of the event loop at full speed, so that the bus's
// socket gets to send them between turns.
constexpr int burstFrames = 256;
// At full speed, writing pauses while this much is still waiting to go out, so
// that a bus slower than the log costs no memory. A plugin that talks to its bus
// through a socket (virtualcan) queues there; others queue frames in the device.
constexpr qint64 maxSocketBacklog = 64 * 1024;
constexpr qint64 maxFrameBacklog = 256;
// At a recorded pace, frames go out in steps of this many milliseconds, each
// with every frame that has fallen due: a frame is at most that late, and a
// busy log costs the bus and its listeners a wake-up per step, not per frame.
constexpr double paceStepMs = 10.0;
}

Replayer::Replayer(const Settings &settings)
    : settings(settings)
    , bus(settings.bus)
    , stopNotifier(StopRequest::wakeFd(), QSocketNotifier::Read)
{
    sendTimer.setSingleShot(true);
    sendTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&sendTimer, &QTimer::timeout, &loop, [this] { sendDue(); });
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &loop, [this] { finish(); });
}

bool Replayer::openLog()
{
    QString error;
    if (!log.open(settings.log, error)) {
        complain(error);
        return false;
    }
    if (settings.inputFormat) {
        log.setFormat(*settings.inputFormat);
    }
    reader = log.reader(interfaces, StopRequest::wakeFd());
    outcome.format = reader->format();
    return true;
}

// Reads the next frame into pending; false at the end of the log (after the
// last round of --loop), on a stop or on a failure.
bool Replayer::nextFrame()
{
    for (;;) {
        switch (reader->next(pending)) {
        case LogReader::Next::Frame:
            times.take(pending.timeMicroseconds);
            pending.timeMicroseconds = pending.timeMicroseconds - times.first() + roundOffsetMicroseconds;
            return true;
        case LogReader::Next::Malformed:
            ++outcome.malformedLines;
            continue;
        case LogReader::Next::ErrorFrame:
            continue;
        case LogReader::Next::ReadError:
            fail(QStringLiteral("reading %1 failed: %2").arg(settings.log, reader->readError()),
                 ExitStatus::unreadable);
            return false;
        case LogReader::Next::Interrupted:
        case LogReader::Next::TimedOut: // never: the replay waits without limit
            return false;
        case LogReader::Next::End:
            if (!settings.loop || outcome.framesSent == 0) {
                return false;
            }
            // The next round starts a millisecond after the last frame.
            roundOffsetMicroseconds += times.last() - times.first() + 1000;
            times.restart();
            if (!openLog()) {
                outcome.status = ExitStatus::unreadable;
                return false;
            }
            continue;
        }
    }
}

// A bus whose transmit queue is full refuses a frame for a moment; one that keeps
// refusing for a second has failed.
void Replayer::retryWrite()
{
    if (++failedWrites > maxFailedWrites) {
        const QString reason = bus.device()->errorString().isEmpty()
            ? QStringLiteral("the device refused %1 for a second without giving a reason")
                  .arg(toBusFrame(pending).toString().simplified())
            : bus.device()->errorString();
        fail(QStringLiteral("bus %1: cannot write a frame: %2").arg(settings.bus.text(), reason),
             ExitStatus::busFailure);
        return;
    }
    sendTimer.start(1);
}

bool Replayer::backlogged() const
{
    return bus.device()->framesToWrite() >= maxFrameBacklog
        || (transport && transport->bytesToWrite() >= maxSocketBacklog);
}

void Replayer::sendDue()
{
    QCanBusDevice *device = bus.device();
    for (int sent = 0; havePending; ++sent) {
        const qint64 now = clock.nsecsElapsed() / 1000;
        const bool due = settings.speed <= 0.0
            ? sent < burstFrames && !backlogged()
            : static_cast<double>(pending.timeMicroseconds) / settings.speed <= static_cast<double>(now);
        if (!due) {
            break;
        }
        // A device sends CAN FD frames only once told to; the first one in the log tells it.
        if (pending.flexibleDataRate && !device->configurationParameter(QCanBusDevice::CanFdKey).toBool()) {
            device->setConfigurationParameter(QCanBusDevice::CanFdKey, true);
        }
        if (!device->writeFrame(toBusFrame(pending))) {
            retryWrite();
            return;
        }
        failedWrites = 0;
        ++outcome.framesSent;
        havePending = nextFrame();
    }
    schedule();
}

void Replayer::schedule()
{
    if (!havePending) {
        finish();
        return;
    }
    if (settings.speed <= 0.0) {
        sendTimer.start(backlogged() ? 1 : 0);
        return;
    }
    const double dueMs = static_cast<double>(pending.timeMicroseconds) / settings.speed / 1000.0;
    const double nowMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    // A frame due in more than an hour is looked at again in an hour.
    const double waitMs = std::min(3600000.0, std::ceil(dueMs / paceStepMs) * paceStepMs - nowMs);
    sendTimer.start(static_cast<int>(std::max(0.0, waitMs)));
}

void Replayer::fail(const QString &message, int status)
{
    complain(message);
    outcome.status = status;
    havePending = false;
    finish();
}

void Replayer::finish()
{
    finished = true;
    sendTimer.stop();
    loop.quit();
}

// Closing the device lets the frames still buffered for the bus go out first;
// the program must not end before that is done.
void Replayer::drain()
{
    QCanBusDevice *device = bus.device();
    if (!device || device->state() != QCanBusDevice::ConnectedState) {
        return;
    }
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [this] { loop.quit(); });
    QObject::connect(device, &QCanBusDevice::stateChanged, &loop, [this](QCanBusDevice::CanBusDeviceState state) {
        if (state == QCanBusDevice::UnconnectedState) {
            loop.quit();
        }
    });
    bus.close();
    if (device->state() != QCanBusDevice::UnconnectedState) {
        limit.start(drainTimeoutMs);
        loop.exec();
    }
}

void Replayer::start()
{
    if (clock.isValid()) {
        return;
    }
    clock.start();
    transport = bus.device()->findChild<QAbstractSocket *>();
    havePending = nextFrame();
    schedule();
}

Replayer::Outcome Replayer::run()
{
    if (!openLog()) {
        outcome.status = ExitStatus::unreadable;
        return outcome;
    }
    QString error;
    if (!bus.open([this](const QString &message) { fail(message, ExitStatus::busFailure); }, error)) {
        complain(error);
        outcome.status = ExitStatus::busFailure;
        return outcome;
    }
    // Frames go out once the bus is up.
    QObject::connect(bus.device(), &QCanBusDevice::stateChanged, &loop, [this](QCanBusDevice::CanBusDeviceState state) {
        if (state == QCanBusDevice::ConnectedState) {
            start();
        }
    });
    if (bus.isConnected()) {
        start();
    }
    if (!finished && !StopRequest::requested()) {
        loop.exec();
    }
    outcome.seconds = clock.isValid() ? static_cast<double>(clock.nsecsElapsed()) / 1e9 : 0.0;
    drain();
    return outcome;
}
