// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MetricsEndpoint.h"

#include <prometheus/collectable.h>
#include <prometheus/exposer.h>

#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <chrono>
#include <exception>
#include <string>
#include <thread>
#include <vector>

// Called on the serving threads; the source carries the thread-safety.
class FiguresCollector : public prometheus::Collectable
{
public:
    explicit FiguresCollector(MetricsEndpoint::Source source)
        : source(std::move(source))
    {
    }

    std::vector<prometheus::MetricFamily> Collect() const override
    {
        return metricFamilies(source());
    }

private:
    const MetricsEndpoint::Source source;
};

namespace
{
// Why nothing can listen at the address, as the system tells a test listener.
QString whyNotListening(const MetricsAddress &address, const char *fallback)
{
    QTcpServer probe;
    return probe.listen(address.host, address.port) ? QString::fromLocal8Bit(fallback) : probe.errorString();
}

// The endpoint as a client on this machine reaches it: an address that listens on
// every interface is reached on the loopback.
QHostAddress reachableAt(const QHostAddress &host)
{
    if (host == QHostAddress::AnyIPv4) {
        return QHostAddress::LocalHost;
    }
    if (host == QHostAddress::AnyIPv6 || host == QHostAddress::Any) {
        return QHostAddress::LocalHostIPv6;
    }
    return host;
}
}

MetricsEndpoint::MetricsEndpoint(const MetricsAddress &address)
    : address(address)
{
}

std::unique_ptr<MetricsEndpoint> MetricsEndpoint::start(const MetricsAddress &address, Source source, QString &error)
{
    // A few serving threads: Prometheus sends one request at a time, and a few
    // clients that hold some up leave the others free.
    const std::vector<std::string> options = {
        "listening_ports",
        address.text().toStdString(),
        "num_threads",
        std::to_string(servingThreads),
        "request_timeout_ms",
        std::to_string(requestTimeoutSeconds * 1000),
    };
    std::unique_ptr<MetricsEndpoint> endpoint(new MetricsEndpoint(address));
    try {
        endpoint->exposer = std::make_unique<prometheus::Exposer>(options);
    } catch (const std::exception &failure) {
        error = QStringLiteral("cannot serve metrics at %1: %2")
                    .arg(address.text(), whyNotListening(address, failure.what()));
        return nullptr;
    }
    endpoint->collector = std::make_shared<FiguresCollector>(std::move(source));
    // Anchored: civetweb takes a plain path for a prefix, and would serve /metricsx.
    endpoint->exposer->RegisterCollectable(endpoint->collector, "/metrics$");
    return endpoint;
}

// The server's listening thread looks for the stop only when a connection comes
// or every two seconds: connections knock until it has gone, so that a run ends
// at once.
MetricsEndpoint::~MetricsEndpoint()
{
    std::atomic<bool> stopped{false};
    std::thread knocker([this, &stopped] {
        while (!stopped) {
            QTcpSocket knock;
            knock.connectToHost(reachableAt(address.host), address.port);
            knock.waitForConnected(100);
            knock.abort();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    exposer.reset();
    stopped = true;
    knocker.join();
}
