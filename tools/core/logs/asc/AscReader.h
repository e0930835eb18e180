// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "ChannelNames.h"
#include "LineWords.h"
#include "TextCursor.h"
#include "TextLogReader.h"

/**
 * The frames of an ASC log.
 *
 * The header sets how the rest reads: `base hex|dec` the base of identifiers,
 * data length codes and data bytes; `timestamps absolute|relative` whether an
 * event's time counts from the start of the measurement or from the event
 * before it; the `date` line (weekday, English month, day, time, am/pm, year)
 * when the measurement started, read as UTC. Without a readable date, times
 * count from the start of the measurement.
 *
 * Frames: `time ch id[x] Rx|Tx d dlc bytes...` (the DLC in the base, 9 to 15
 * meaning 8 bytes, a longer CAN FD length as many), `time ch id[x] Rx|Tx r
 * [dlc]` a remote request, `time CANFD ch Rx|Tx id[x] [name] brs esi dlc len
 * bytes... [duration length flags ...]` (the flags, where given, tell a CAN FD
 * frame from a classic one and mark a remote request; without them a length of
 * 0 with a DLC above 0 is one), `time ch ErrorFrame ...` and `time CANFD ch
 * Rx|Tx ErrorFrame ...` error frames. Channel n is the interface "CANn".
 *
 * Skipped: `Begin Triggerblock`, `End TriggerBlock`, `internal events logged`,
 * `// comments`, and the events `Start of measurement`, `ch Statistic:`, `CAN ch
 * Status:`, `ch Status:` and `ch J1939TP`. Any other line is malformed.
 */
class AscReader : public TextLogReader
{
public:
    AscReader(LineInput input, InterfaceNames &interfaces);
    AscReader(const QByteArray &text, InterfaceNames &interfaces);

    Next next(CanFrame &frame) override;
    LogFormat format() const override;

protected:
    Line parse(const char *line, std::size_t length, CanFrame &frame, const char *&error) override;

private:
    Line header(TextCursor &in, const char *&error);
    Line event(TextCursor &in, CanFrame &frame, const char *&error);
    bool quickFrame(const char *line, const char *end, CanFrame &frame, bool endsAtFirstNewline);
    bool quickIdentifier(const char *at, const char *wordEnd, const char *end, CanFrame &frame) const;
    Line classicFrame(TextCursor &in, CanFrame &frame, const char *&error);
    Line canFdFrame(TextCursor &in, CanFrame &frame, const char *&error);
    bool identifier(TextCursor &in, CanFrame &frame, const char *&error) const;
    bool dataBytes(TextCursor &in, int count, CanFrame &frame) const;

    ChannelNames channels;
    LineWords words;
    /// The lengths of the last two frame lines that quickFrame() read, the
    /// latest first (the first length twice until another comes); 0 before one.
    std::size_t expectedLengths[2] = {};
    int base = 16;
    bool relative = false;
    /// When the measurement started, in microseconds since the epoch.
    qint64 start = 0;
    /// The time of the event before, for relative timestamps.
    qint64 previous = 0;
};
