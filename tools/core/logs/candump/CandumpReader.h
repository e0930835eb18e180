// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "InterfaceNames.h"
#include "LineInput.h"
#include "LogReader.h"

/**
 * The frames of a log in any layout that can-utils' candump writes (see
 * parseCandumpLine()).
 *
 * Skips blank lines, and the tab-led lines with which candump -e explains an
 * error frame. Lines longer than LineInput::maxLineLength count as malformed.
 */
class CandumpReader : public LogReader
{
public:
    /// Reads fd, which stays open and owned by the caller; see LineInput.
    CandumpReader(int fd, InterfaceNames &interfaces, int wakeFd = -1);
    /// Reads the given bytes.
    CandumpReader(const QByteArray &text, InterfaceNames &interfaces);

    Next next(CanFrame &frame) override;
    void setWaitLimit(int milliseconds) override;
    bool timed() const override;
    qint64 lineNumber() const override;
    const char *error() const override;
    QByteArray line() const override;
    qint64 bytesRead() const override;
    QString readError() const override;

private:
    InterfaceNames &interfaces;
    LineInput input;
    bool lastTimed = true;
    bool afterErrorFrame = false;
    const char *lastError = nullptr;
};
