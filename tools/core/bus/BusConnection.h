// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "BusAddress.h"

#include <QCanBusDevice>
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
