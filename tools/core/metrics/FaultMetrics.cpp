// SPDX-License-Identifier: LGPL-2.1-or-later
#include "FaultMetrics.h"
#include "SignalSnapshot.h"

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

namespace
{
std::vector<ClientMetric::Label> senderLabels(const QString &interfaceName, int sourceAddress)
{
    return {ClientMetric::Label{"interface", interfaceName.toStdString()},
            ClientMetric::Label{"source_address", sourceAddressText(sourceAddress).toStdString()}};
}

ClientMetric gauge(std::vector<ClientMetric::Label> labels, double value)
{
    ClientMetric sample;
    sample.label = std::move(labels);
    sample.gauge.value = value;
    return sample;
}

void append(MetricFamily family, std::vector<MetricFamily> &families)
{
    if (!family.metric.empty()) {
        families.push_back(std::move(family));
    }
}
}

void appendFaultFamilies(const J1939Diagnostics &diagnostics, std::vector<MetricFamily> &families)
{
    MetricFamily active{"talveno_j1939_fault_active",
                        "1 while the sender's newest active-faults message (DM1) lists the trouble code, else 0",
                        MetricType::Gauge,
                        {}};
    MetricFamily occurrences{"talveno_j1939_fault_occurrences",
                             "The trouble code's occurrence count as its sender last gave it",
                             MetricType::Gauge,
                             {}};
    for (const FaultCode &code : diagnostics.faults) {
        std::vector<ClientMetric::Label> labels = senderLabels(code.interfaceName, code.sourceAddress);
        labels.push_back(ClientMetric::Label{"spn", std::to_string(code.spn)});
        labels.push_back(ClientMetric::Label{"fmi", std::to_string(code.fmi)});
        if (code.occurrences != 127) {
            occurrences.metric.push_back(gauge(labels, code.occurrences));
        }
        active.metric.push_back(gauge(std::move(labels), code.active ? 1.0 : 0.0));
    }
    MetricFamily lamps{"talveno_j1939_lamp",
                       "A warning lamp as the sender's newest DM1 shows it: 0 off, 1 on, 2 slow flash, 3 fast flash",
                       MetricType::Gauge,
                       {}};
    for (const FaultSender &sender : diagnostics.senders) {
        for (std::size_t lamp = 0; lamp < sender.lamps.size(); ++lamp) {
            if (sender.lamps[lamp] == LampState::NotAvailable) {
                continue;
            }
            std::vector<ClientMetric::Label> labels = senderLabels(sender.interfaceName, sender.sourceAddress);
            labels.push_back(ClientMetric::Label{"lamp", lampNames[lamp].label});
            lamps.metric.push_back(gauge(std::move(labels), static_cast<double>(sender.lamps[lamp])));
        }
    }
    append(std::move(active), families);
    append(std::move(occurrences), families);
    append(std::move(lamps), families);
}
