// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"

#include <cstddef>

/// What parseLogLine() made of a line.
struct LineParse
{
    enum Status {
        Frame, ///< the frame was filled in
        Blank, ///< only white space: nothing to do
        Malformed, ///< error says why
    };
    Status status = Blank;
    /// A static description of the first fault; nullptr unless Malformed.
    const char *error = nullptr;
    /// Where the interface name lies in the line, for a Frame.
    std::size_t interfaceOffset = 0;
    std::size_t interfaceLength = 0;
};

/**
 * Reads one line of a recorded CAN log in either layout that can-utils' candump
 * writes, with the line end or without it:
 *
 * - compact (candump -l): `(1553794338.007083) can0 0CF00400#F1D0CD5A1D00FFCD`,
 *   also `123#R` for a remote request and `123##1<hex>` for a CAN FD frame;
 * - screen (candump -ta/-td/-tz): ` (000.017118)  can0  0CF00400   [8]  21 9B ...`,
 *   also `[0]  remote request`.
 *
 * The timestamp in parentheses is required, absolute or relative. An identifier
 * of 3 hex digits is an 11-bit one (at most 7FF), of 8 hex digits a 29-bit one
 * (at most 1FFFFFFF); error frames, whose identifiers carry a flag above bit 28,
 * count as malformed. Never reads outside [begin, begin + size) and never throws.
 */
LineParse parseLogLine(const char *begin, std::size_t size, CanFrame &frame);
