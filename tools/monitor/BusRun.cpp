// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BusConnection.h"
#include "BusFrames.h"
#include "ExitStatus.h"
#include "Messages.h"
#include "Runs.h"
#include "StopRequest.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace
{
// The name a bus's frames carry: its interface, or the whole address when two
// buses share an interface name (virtualcan:can0 and socketcan:can0).
QString interfaceLabel(const QVector<BusAddress> &buses, const BusAddress &address)
{
    const auto sameInterface = [&address](const BusAddress &other) {
        return other.interfaceName == address.interfaceName;
    };
    return std::count_if(buses.cbegin(), buses.cend(), sameInterface) > 1 ? address.text() : address.interfaceName;
}

class BusRun
{
public:
    BusRun(const MonitorOptions &options, Session &session)
        : options(options)
        , session(session)
        , stopNotifier(StopRequest::wakeFd(), QSocketNotifier::Read)
    {
        runTimer.start();
        session.summary().input = busNames();
        QObject::connect(&stopNotifier, &QSocketNotifier::activated, &loop, [this] { stop(); });
        if (options.every > 0.0) {
            snapshotTimer.setTimerType(Qt::PreciseTimer);
            QObject::connect(&snapshotTimer, &QTimer::timeout, &loop, [this] {
                ++snapshots;
                // A report that cannot be written ends the run: nobody reads it.
                if (!this->session.snapshot(snapshots * this->options.every)) {
                    loop.quit();
                }
            });
        }
    }

    int run()
    {
        for (const BusAddress &address : options.buses) {
            if (!open(address)) {
                return status;
            }
        }
        if (options.every > 0.0) {
            snapshotTimer.start(std::max(1, static_cast<int>(options.every * 1000.0)));
        }
        if (!StopRequest::requested() && status == ExitStatus::done) {
            loop.exec();
        }
        if (StopRequest::requested() && status == ExitStatus::done) {
            session.endByStopRequest();
        }
        for (const auto &bus : buses) {
            bus->close();
        }
        return status;
    }

    double seconds() const
    {
        return static_cast<double>(runTimer.elapsed()) / 1000.0;
    }

private:
    QString busNames() const
    {
        QStringList names;
        for (const BusAddress &address : options.buses) {
            names.append(address.text());
        }
        return names.join(QLatin1String(", "));
    }

    bool open(const BusAddress &address)
    {
        buses.push_back(std::make_unique<BusConnection>(address));
        BusConnection &bus = *buses.back();
        InputCounts &counts = session.input(static_cast<int>(buses.size()) - 1);
        const quint16 interfaceIndex = session.interfaces().index(interfaceLabel(options.buses, address));
        QString error;
        if (!bus.open([this](const QString &message) { fail(message); }, error)) {
            fail(error);
            return false;
        }
        QObject::connect(bus.device(), &QCanBusDevice::framesReceived, &loop, [this, &bus, &counts, interfaceIndex] {
            take(bus, counts, interfaceIndex);
        });
        return true;
    }

    void take(BusConnection &bus, InputCounts &counts, quint16 interfaceIndex)
    {
        const QVector<QCanBusFrame> frames = bus.device()->readAllFrames();
        CanFrame frame;
        for (const QCanBusFrame &busFrame : frames) {
            if (!fromBusFrame(busFrame, interfaceIndex, frame)) {
                ++counts.errorFrames;
                continue;
            }
            ++counts.frames;
            // A plugin that stamps no time gets the time of arrival.
            if (frame.timeMicroseconds == 0) {
                frame.timeMicroseconds = nowMicroseconds();
            }
            session.monitor().processFrame(frame);
        }
    }

    void fail(const QString &message)
    {
        complain(message);
        session.summary().ending = Ending::BusFailure;
        status = ExitStatus::busFailure;
        loop.quit();
    }

    void stop()
    {
        loop.quit();
    }

    const MonitorOptions &options;
    Session &session;
    QEventLoop loop;
    QSocketNotifier stopNotifier;
    QTimer snapshotTimer;
    QElapsedTimer runTimer;
    std::vector<std::unique_ptr<BusConnection>> buses;
    int snapshots = 0;
    int status = ExitStatus::done;
};
}

int readBuses(const MonitorOptions &options, Session &session)
{
    BusRun run(options, session);
    const int status = run.run();
    session.summary().seconds = run.seconds();
    return status;
}
