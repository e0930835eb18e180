// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "MetricFamilies.h"
#include "MetricsAddress.h"

#include <QString>

#include <functional>
#include <memory>

namespace prometheus
{
class Exposer;
}
class FiguresCollector;

/**
 * An HTTP endpoint that serves the figures for Prometheus at /metrics, in its
 * text exposition format, from threads of its own: each scrape calls the source
 * on the thread that serves it, so the source must be safe to call from any
 * thread, also while frames come in. Other paths get 404.
 *
 * A client that sends nothing, or reads slowly, holds one of a few serving
 * threads until the request timeout; it never holds the thread that reads frames.
 */
class MetricsEndpoint
{
public:
    using Source = std::function<LiveFigures()>;

    /// Seconds a client may stay silent while it sends its request, or take
    /// nothing of the answer, before it is dropped.
    static constexpr int requestTimeoutSeconds = 5;
    /// Requests served at once.
    static constexpr int servingThreads = 8;

    /// Listens at address and serves until destroyed. Null, with "cannot serve
    /// metrics at ADDRESS: why" in error, when it cannot listen there: the port
    /// is in use, or the address is not one of this machine's.
    static std::unique_ptr<MetricsEndpoint> start(const MetricsAddress &address, Source source, QString &error);
    /// Stops listening and waits for the scrapes in flight; an answer still being
    /// sent is cut short.
    ~MetricsEndpoint();
    MetricsEndpoint(const MetricsEndpoint &) = delete;
    MetricsEndpoint &operator=(const MetricsEndpoint &) = delete;

private:
    explicit MetricsEndpoint(const MetricsAddress &address);

    const MetricsAddress address;
    std::shared_ptr<FiguresCollector> collector;
    std::unique_ptr<prometheus::Exposer> exposer;
};
