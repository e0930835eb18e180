// SPDX-License-Identifier: LGPL-2.1-or-later
#include "J1939Traffic.h"
#include "J1939Ids.h"

#include <algorithm>
#include <tuple>

namespace
{
auto key(const FaultSender &s)
{
    return std::make_tuple(s.interfaceName, s.sourceAddress);
}
auto key(const FaultCode &c)
{
    return std::make_tuple(c.interfaceName, c.sourceAddress, c.spn, c.fmi);
}
auto key(const RequestCount &r)
{
    return std::make_tuple(r.interfaceName, r.sourceAddress, r.pgn);
}

template<typename T>
void sortBy(QVector<T> &items)
{
    std::sort(items.begin(), items.end(), [](const T &a, const T &b) { return key(a) < key(b); });
}
}

J1939Traffic::J1939Traffic(const InterfaceNames &interfaces,
                           const FrameTimes &times,
                           const QHash<quint32, QString> &spnNames)
    : interfaces(interfaces)
    , times(times)
    , spnNames(spnNames)
{
}

const J1939Group *J1939Traffic::take(const CanFrame &frame)
{
    if (frame.remote) {
        return nullptr;
    }
    const QMutexLocker locker(&tablesMutex);
    const quint32 format = J1939Ids::pduFormat(frame.id);
    if (format == J1939Ids::requestFormat) {
        countRequest(frame);
        return nullptr;
    }
    if (format != J1939Ids::connectionFormat && format != J1939Ids::dataTransferFormat) {
        faults.take(frame.interfaceIndex,
                    J1939Ids::sourceAddress(frame.id),
                    frame.timeMicroseconds,
                    frame.data.data(),
                    frame.length);
        return nullptr;
    }
    const J1939Group *group = transport.take(frame);
    if (group && group->pgn == J1939Ids::activeFaultsPgn) {
        faults.take(group->interfaceIndex,
                    group->sourceAddress,
                    group->timeMicroseconds,
                    group->payload.data(),
                    static_cast<int>(group->payload.size()));
    }
    return group;
}

void J1939Traffic::expire()
{
    const QMutexLocker locker(&tablesMutex);
    transport.expire(times.last());
}

void J1939Traffic::countRequest(const CanFrame &frame)
{
    if (frame.length < 3) {
        return;
    }
    const quint32 sender = ActiveFaults::senderKey(frame.interfaceIndex, J1939Ids::sourceAddress(frame.id));
    ++requests[(quint64(sender) << 18) | J1939Ids::pgnAt(frame.data.data())];
}

J1939Diagnostics J1939Traffic::diagnostics() const
{
    const QMutexLocker locker(&tablesMutex);
    J1939Diagnostics result;
    result.transport = transport.counts();
    const auto interfaceOf = [this](quint64 sender) {
        return interfaces.name(static_cast<quint16>(sender >> 8));
    };
    for (auto s = faults.senders().cbegin(); s != faults.senders().cend(); ++s) {
        FaultSender sender;
        sender.interfaceName = interfaceOf(s.key());
        sender.sourceAddress = static_cast<int>(s.key() & 0xFF);
        sender.lamps = s->lamps;
        sender.lastSeen = times.secondsAt(s->lastSeen);
        result.senders.append(sender);
    }
    for (auto c = faults.codes().cbegin(); c != faults.codes().cend(); ++c) {
        FaultCode code;
        const quint64 sender = c.key() >> 24;
        code.interfaceName = interfaceOf(sender);
        code.sourceAddress = static_cast<int>(sender & 0xFF);
        code.spn = static_cast<quint32>((c.key() >> 5) & 0x7FFFF);
        code.fmi = static_cast<int>(c.key() & 0x1F);
        code.occurrences = c->occurrences;
        code.active = c->active;
        code.firstSeen = times.secondsAt(c->firstSeen);
        code.lastSeen = times.secondsAt(c->lastSeen);
        code.olderConversionMethod = c->olderConversionMethod;
        code.spnName = spnNames.value(code.spn);
        result.faults.append(code);
    }
    for (auto r = requests.cbegin(); r != requests.cend(); ++r) {
        const quint64 sender = r.key() >> 18;
        result.requests.append(RequestCount{interfaceOf(sender),
                                            static_cast<int>(sender & 0xFF),
                                            static_cast<quint32>(r.key() & 0x3FFFF),
                                            r.value()});
    }
    sortBy(result.senders);
    sortBy(result.faults);
    sortBy(result.requests);
    return result;
}
