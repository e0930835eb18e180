// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "ChannelNames.h"
#include "LineWords.h"
#include "TextCursor.h"
#include "TextLogReader.h"

#include <vector>

/**
 * The frames of a TRC log, versions 1.0 to 1.3 and 2.0 to 2.1.
 *
 * The header's `;$FILEVERSION=x.y` gives the version (1.0 without one),
 * `;$STARTTIME=days` the start as days since 1899-12-30 (read as UTC; without
 * one, times count from the start), and in 2.x `;$COLUMNS=` the order of the
 * columns. Each line's time offset is in milliseconds from the start.
 *
 * Versions 1.x: `n) offset [bus] [Rx|Tx|Error|Warng] id [-] length bytes...`
 * (the bus from 1.2, the type from 1.1, the reserved column from 1.3); `RTR` in
 * place of the bytes is a remote request, the identifier FFFFFFFF and the type
 * Warng a status line, Error an error frame. Versions 2.x: the types DT (a
 * frame), FD, FB, FE and BI (CAN FD frames), RR (a remote request), ER (an
 * error frame), and ST, EC and EV (status, error counters, events: skipped);
 * the DLC column of 2.1 counts as CAN FD does (9 is 12 bytes), the length
 * column of 2.0 in bytes. An identifier of more than 4 hex digits is a 29-bit
 * one. Bus n is the interface "CANn"; a log without a bus column has bus 1.
 * Lines that start with ';' are comments.
 */
class TrcReader : public TextLogReader
{
public:
    TrcReader(LineInput input, InterfaceNames &interfaces);
    TrcReader(const QByteArray &text, InterfaceNames &interfaces);

    Next next(CanFrame &frame) override;
    LogFormat format() const override;

    /// What a column holds.
    enum class Column { Number, Offset, Type, Bus, Id, Direction, Reserved, Dlc, Length, Data };

protected:
    Line parse(const char *line, std::size_t length, CanFrame &frame, const char *&error) override;

private:
    Line header(TextCursor &in, const char *&error);
    Line record(TextCursor &in, CanFrame &frame, const char *&error);
    bool quickRecord(const char *line, const char *end, CanFrame &frame, Line &read, const char *&readTo);
    bool quickType(int word, const char *end, CanFrame &frame);
    bool wordNumber(int word, int maxDigits, int &value) const;
    bool quickIdentifier(int word, const char *end, CanFrame &frame) const;
    int lengthOf(Column kind, int value) const;
    void startRecord(CanFrame &frame);
    Line endRecord(CanFrame &frame);
    void columnsChanged();
    bool column(Column kind, TextCursor &in, CanFrame &frame, Line &ends, const char *&error);
    bool type(TextCursor &in, CanFrame &frame, Line &ends, const char *&error);
    bool identifier(TextCursor &in, CanFrame &frame, Line &ends, const char *&error) const;
    bool data(TextCursor &in, CanFrame &frame, const char *&error) const;

    ChannelNames channels;
    /// 10 for version 1.0, 21 for 2.1.
    int version = 10;
    std::vector<Column> columns;
    bool columnsGiven = false;
    /// Which word of a record holds each column that quickRecord() reads, -1
    /// for none; chosen once for the columns of the file.
    struct WordLayout
    {
        bool byWords = false;
        int words = 0;
        int offset = -1;
        int type = -1;
        int bus = -1;
        int id = -1;
        int length = -1;
        Column lengthKind = Column::Dlc;
    };
    WordLayout layout;
    LineWords words;
    /// The length of the last record that quickRecord() read whole, 0 before one.
    std::size_t expectedLength = 0;
    /// The start, in microseconds since the epoch.
    qint64 start = 0;

    // What the columns of the line being read said so far.
    bool fdType = false;
    bool errorFrame = false;
    quint32 bus = 1;
    int length = -1;
};
