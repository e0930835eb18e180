// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DiagnosticsMerge.h"

#include <algorithm>

namespace
{
constexpr int noOccurrences = 127;

int largerCount(int a, int b)
{
    if (a == noOccurrences || b == noOccurrences) {
        return a == noOccurrences ? b : a;
    }
    return std::max(a, b);
}
}

void DiagnosticsMerge::add(const J1939Diagnostics &diagnostics, qint64 originMicroseconds, qint64 lastFrameMicroseconds)
{
    for (const TransportCount &c : transportCounts) {
        transport.*c.count += diagnostics.transport.*c.count;
    }
    if (!anyOrigin || originMicroseconds < origin) {
        anyOrigin = true;
        origin = originMicroseconds;
    }
    const double shift = static_cast<double>(originMicroseconds) / 1e6;
    for (FaultSender sender : diagnostics.senders) {
        sender.lastSeen += shift;
        sender.reportStamp = lastFrameMicroseconds;
        const auto known = senders.find(SenderKey(sender.interfaceName, sender.sourceAddress));
        if (known == senders.end()) {
            senders.emplace(SenderKey(sender.interfaceName, sender.sourceAddress), sender);
        } else if (lastFrameMicroseconds >= known->second.reportStamp) {
            sender.lastSeen = std::max(sender.lastSeen, known->second.lastSeen);
            known->second = sender;
        }
    }
    for (FaultCode code : diagnostics.faults) {
        code.firstSeen += shift;
        code.lastSeen += shift;
        code.reportStamp = lastFrameMicroseconds;
        const auto key = std::make_tuple(code.interfaceName, code.sourceAddress, code.spn, code.fmi);
        const auto known = codes.find(key);
        if (known == codes.end()) {
            codes.emplace(key, code);
            continue;
        }
        FaultCode &merged = known->second;
        if (lastFrameMicroseconds >= merged.reportStamp) {
            merged.active = code.active;
            merged.reportStamp = lastFrameMicroseconds;
        }
        merged.occurrences = largerCount(merged.occurrences, code.occurrences);
        merged.firstSeen = std::min(merged.firstSeen, code.firstSeen);
        merged.lastSeen = std::max(merged.lastSeen, code.lastSeen);
        merged.olderConversionMethod = merged.olderConversionMethod || code.olderConversionMethod;
        if (merged.spnName.isEmpty()) {
            merged.spnName = code.spnName;
        }
    }
    for (const RequestCount &request : diagnostics.requests) {
        const auto key = std::make_tuple(request.interfaceName, request.sourceAddress, request.pgn);
        const auto known = requests.find(key);
        if (known == requests.end()) {
            requests.emplace(key, request);
        } else {
            known->second.count += request.count;
        }
    }
}

J1939Diagnostics DiagnosticsMerge::result() const
{
    J1939Diagnostics merged;
    merged.transport = transport;
    const double shift = static_cast<double>(origin) / 1e6;
    for (const auto &entry : senders) {
        FaultSender sender = entry.second;
        sender.lastSeen -= shift;
        merged.senders.append(sender);
    }
    for (const auto &entry : codes) {
        FaultCode code = entry.second;
        // A later report that saw the sender without this code saw it gone.
        const auto sender = senders.find(SenderKey(code.interfaceName, code.sourceAddress));
        if (sender != senders.end() && sender->second.reportStamp > code.reportStamp) {
            code.active = false;
        }
        code.firstSeen -= shift;
        code.lastSeen -= shift;
        merged.faults.append(code);
    }
    for (const auto &entry : requests) {
        merged.requests.append(entry.second);
    }
    return merged;
}
