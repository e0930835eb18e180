// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "BusAddress.h"
#include "CanFrame.h"

#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

/**
 * One CAN device of Qt SerialBus, opened for a run. Failures come back as one
 * line that names the plugin, the interface and Qt's own error text: the
 * device's creation, a connection that fails or does not come up within the
 * time limit, and, once connected, an error or a disconnect.
 */
class BusConnection
{
public:
    /// Called with each message of failure; the device is unusable afterwards.
    using FailureHandler = std::function<void(const QString &message)>;

    explicit BusConnection(const BusAddress &address);
    ~BusConnection();
    BusConnection(const BusConnection &) = delete;
    BusConnection &operator=(const BusConnection &) = delete;

    /// Creates the device and starts connecting; false, with the message in error,
    /// when that fails at once. Connected, or a failure, follows in the event loop.
    bool open(const FailureHandler &onFailure, QString &error);
    /// Null before open().
    QCanBusDevice *device() const;
    const BusAddress &address() const;
    bool isConnected() const;
    /// Disconnects on purpose: no failure is reported for it.
    void close();

    /// How long a connection may take to come up.
    static constexpr int connectTimeoutMs = 5000;

private:
    QString failure(const QString &what, const QString &qtText) const;
    void watch(const FailureHandler &onFailure);

    BusAddress busAddress;
    std::unique_ptr<QCanBusDevice> bus;
    QTimer connectTimer;
    bool closing = false;
    bool failed = false;
};

/// The CAN frame of a bus frame on the given interface; false for error frames
/// and invalid frames, which carry no signal.
bool fromBusFrame(const QCanBusFrame &busFrame, quint16 interfaceIndex, CanFrame &frame);
/// The bus frame of a logged frame.
QCanBusFrame toBusFrame(const CanFrame &frame);

/// Qt's plugins and the interfaces each reports, a line each, for --list-buses.
QString describeBuses();

/// Call first thing in main(). Keeps Qt SerialBus's own chatter (plugin start-up,
/// connects) off standard error, as our messages carry Qt's error text
/// (QT_LOGGING_RULES still wins). And pins the time zone: virtualcan stamps every
/// frame with the local time, for which the C library would otherwise look at
/// /etc/localtime again on every frame.
void prepareQtSerialBus();
