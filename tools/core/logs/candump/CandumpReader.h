// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CandumpLine.h"
#include "InterfaceNames.h"
#include "TextLogReader.h"

/**
 * The frames of a log in any layout that can-utils' candump writes (see
 * parseCandumpLine()).
 *
 * Skips blank lines, and the tab-led lines with which candump -e explains an
 * error frame.
 */
class CandumpReader : public TextLogReader
{
public:
    CandumpReader(LineInput input, InterfaceNames &interfaces);
    /// Reads fd, which stays open and owned by the caller; see LineInput.
    CandumpReader(int fd, InterfaceNames &interfaces, int wakeFd = -1);
    /// Reads the given bytes.
    CandumpReader(const QByteArray &text, InterfaceNames &interfaces);

    Next next(CanFrame &frame) override;
    bool timed() const override;
    LogFormat format() const override;

protected:
    Line parse(const char *line, std::size_t length, CanFrame &frame, const char *&error) override;

private:
    void fillIn(const char *line, const LineParse &parsed, CanFrame &frame);

    InterfaceNames &interfaces;
    bool lastTimed = true;
    bool afterErrorFrame = false;
    /// The length of the last frame's line, which the next is likely to share;
    /// 0 before one.
    std::size_t expectedLength = 0;
};
