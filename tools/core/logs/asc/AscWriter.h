// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "LogWriter.h"

/**
 * An ASC log: `date` (the first frame's time to the millisecond, as UTC),
 * `base hex  timestamps absolute`, one trigger block; classic frames as `d`
 * lines, remote requests as `r`, CAN FD frames as `CANFD` lines, error frames as
 * `ErrorFrame`, each at its time from the date, in microseconds.
 */
class AscWriter : public LogWriter
{
public:
    AscWriter(const QString &fileName, const InterfaceNames &interfaces);

protected:
    void writeFrame(const CanFrame &frame, bool errorFrame) override;
    void writeEnd() override;

private:
    void writeHeader(qint64 microseconds);

    bool started = false;
    qint64 start = 0;
};
