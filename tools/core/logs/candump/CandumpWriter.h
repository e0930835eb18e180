// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "LogWriter.h"

/// A log in candump's compact layout, as candump -l writes it: `(seconds.micro)
/// interface id#data`, `id#R` for a remote request, `id##0data` for a CAN FD
/// frame, an error frame as the identifier 20000000 and 8 zero bytes.
class CandumpWriter : public LogWriter
{
public:
    CandumpWriter(const QString &fileName, const InterfaceNames &interfaces);

protected:
    void writeFrame(const CanFrame &frame, bool errorFrame) override;
    void writeEnd() override;

private:
    const InterfaceNames &interfaces;
};
