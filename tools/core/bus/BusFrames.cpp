// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BusFrames.h"

#include <algorithm>

bool fromBusFrame(const QCanBusFrame &busFrame, quint16 interfaceIndex, CanFrame &frame)
{
    if (!busFrame.isValid() || busFrame.frameType() == QCanBusFrame::ErrorFrame
        || busFrame.frameType() == QCanBusFrame::InvalidFrame) {
        return false;
    }
    frame = CanFrame();
    const QCanBusFrame::TimeStamp stamp = busFrame.timeStamp();
    frame.timeMicroseconds = stamp.seconds() * 1000000 + stamp.microSeconds();
    frame.id = busFrame.frameId();
    frame.extended = busFrame.hasExtendedFrameFormat();
    frame.remote = busFrame.frameType() == QCanBusFrame::RemoteRequestFrame;
    frame.flexibleDataRate = busFrame.hasFlexibleDataRateFormat();
    frame.interfaceIndex = interfaceIndex;
    if (!frame.remote) {
        const QByteArray payload = busFrame.payload();
        frame.length = static_cast<quint8>(std::min<int>(payload.size(), static_cast<int>(frame.data.size())));
        std::copy(payload.cbegin(), payload.cbegin() + frame.length, frame.data.begin());
    }
    return true;
}

QCanBusFrame toBusFrame(const CanFrame &frame)
{
    QCanBusFrame busFrame(
        frame.id,
        QByteArray(reinterpret_cast<const char *>(frame.data.data()), frame.remote ? 0 : frame.length));
    busFrame.setExtendedFrameFormat(frame.extended);
    busFrame.setFlexibleDataRateFormat(frame.flexibleDataRate);
    if (frame.remote) {
        busFrame.setFrameType(QCanBusFrame::RemoteRequestFrame);
    }
    return busFrame;
}
