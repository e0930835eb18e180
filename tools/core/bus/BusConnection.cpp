// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BusConnection.h"

#include <QCanBus>

BusConnection::BusConnection(const BusAddress &address)
    : busAddress(address)
{
    connectTimer.setSingleShot(true);
}

BusConnection::~BusConnection()
{
    close();
}

QString BusConnection::failure(const QString &what, const QString &qtText) const
{
    return QStringLiteral("bus %1 (plugin %2, interface %3): %4: %5")
        .arg(busAddress.text(),
             busAddress.plugin,
             busAddress.interfaceName,
             what,
             qtText.isEmpty() ? QStringLiteral("no reason given by Qt") : qtText);
}

bool BusConnection::open(const FailureHandler &onFailure, QString &error)
{
    const QString unreported = busAddress.unreportedInterfaceError();
    if (!unreported.isEmpty()) {
        error = failure(QStringLiteral("cannot create the device"), unreported);
        return false;
    }
    QString qtError;
    bus.reset(QCanBus::instance()->createDevice(busAddress.plugin, busAddress.interfaceName, &qtError));
    // Some plugins make a device for an interface they cannot serve, and say so
    // only in its error, before anyone could listen.
    if (!bus || bus->error() != QCanBusDevice::NoError) {
        error = failure(QStringLiteral("cannot create the device"), bus ? bus->errorString() : qtError);
        return false;
    }
    // Watched only once connecting has begun: a device that fails at once is
    // reported through error, not twice.
    if (!bus->connectDevice()) {
        error = failure(QStringLiteral("cannot connect"), bus->errorString());
        return false;
    }
    watch(onFailure);
    if (bus->state() != QCanBusDevice::ConnectedState) {
        connectTimer.start(connectTimeoutMs);
    }
    return true;
}

void BusConnection::watch(const FailureHandler &onFailure)
{
    QCanBusDevice *device = bus.get();
    const auto fail = [this, onFailure](const QString &message) {
        if (closing || failed) {
            return;
        }
        failed = true;
        connectTimer.stop();
        onFailure(message);
    };
    QObject::connect(&connectTimer, &QTimer::timeout, device, [this, fail] {
        fail(failure(QStringLiteral("cannot connect"),
                     QStringLiteral("not connected after %1 s").arg(connectTimeoutMs / 1000)));
    });
    QObject::connect(device,
                     &QCanBusDevice::errorOccurred,
                     device,
                     [this, device, fail](QCanBusDevice::CanBusError error) {
                         // A full transmit queue is the writer's to wait out: writeFrame() says so.
                         if (error == QCanBusDevice::WriteError) {
                             return;
                         }
                         fail(failure(isConnected() ? QStringLiteral("lost") : QStringLiteral("cannot connect"),
                                      device->errorString()));
                     });
    QObject::connect(
        device,
        &QCanBusDevice::stateChanged,
        device,
        [this, device, fail](QCanBusDevice::CanBusDeviceState state) {
            if (state == QCanBusDevice::ConnectedState) {
                connectTimer.stop();
            } else if (state == QCanBusDevice::UnconnectedState) {
                const QString reason =
                    device->errorString().isEmpty() ? QStringLiteral("the device disconnected") : device->errorString();
                fail(failure(connectTimer.isActive() ? QStringLiteral("cannot connect") : QStringLiteral("lost"),
                             reason));
            }
        });
}

QCanBusDevice *BusConnection::device() const
{
    return bus.get();
}

const BusAddress &BusConnection::address() const
{
    return busAddress;
}

bool BusConnection::isConnected() const
{
    return bus && bus->state() == QCanBusDevice::ConnectedState;
}

void BusConnection::close()
{
    closing = true;
    connectTimer.stop();
    if (bus && bus->state() != QCanBusDevice::UnconnectedState) {
        bus->disconnectDevice();
    }
}
