// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"

#include <cstddef>

/// What parseCandumpLine() made of a line.
struct LineParse
{
    enum Status {
        Frame, ///< the frame was filled in
        Blank, ///< only white space: nothing to do
        Malformed, ///< error says why
        ErrorFrame, ///< a CAN error frame: well formed, but no frame to use
    };
    Status status = Blank;
    /// A static description of the first fault; nullptr unless Malformed.
    const char *error = nullptr;
    /// Where the interface name lies in the line, for a Frame or an ErrorFrame.
    std::size_t interfaceOffset = 0;
    std::size_t interfaceLength = 0;
    /// False for a line without a timestamp (candump without -t): the frame's
    /// time is then 0, and the reader stamps it with the time it read the line.
    bool timed = true;
};

/**
 * Reads one line of a recorded CAN log in any layout that can-utils' candump
 * writes, with the line end or without it:
 *
 * - compact (candump -l, -L): `(1553794338.007083) can0 0CF00400#F1D0CD5A1D00FFCD`,
 *   also `123#R` for a remote request, `123##1<hex>` for a CAN FD frame, and a
 *   trailing ` T` or ` R` (-x: transmitted or received);
 * - screen: ` (000.017118)  can0  0CF00400   [8]  21 9B ...`, also `[0]  remote request`;
 *   the timestamp is optional here (none without -t, seconds with -ta/-td/-tz, or
 *   ` (2019-03-28 17:32:18.007083)` with -tA, read as UTC); -x adds `RX - -` or
 *   `TX B E` after the interface, -a the data as text in quotes after the bytes.
 *
 * An identifier of 3 hex digits is an 11-bit one (at most 7FF), of 8 hex digits a
 * 29-bit one (at most 1FFFFFFF). An 8-digit identifier with the error flag 20000000
 * makes the line an ErrorFrame, whatever text follows its data. Never reads
 * outside [begin, begin + size) and never throws.
 */
LineParse parseCandumpLine(const char *begin, std::size_t size, CanFrame &frame);

/// parseCandumpLine()'s shortcut alone: true, with the frame and the result
/// filled in, for the common compact line, every character of which it reads,
/// so that none but its line end is a '\n'; false for any other line.
bool parseCommonCandumpLine(const char *begin, std::size_t size, CanFrame &frame, LineParse &result);

/// parseCandumpLine() without its shortcut for the common compact line: the same
/// result for every line, only slower. The yardstick the shortcut is fuzzed against.
LineParse parseCandumpLineGeneral(const char *begin, std::size_t size, CanFrame &frame);
