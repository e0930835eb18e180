// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "ByteInput.h"
#include "ChannelNames.h"
#include "LogReader.h"

#include <memory>
#include <vector>

/**
 * The frames of a BLF, read as a stream: the memory it takes does not grow with
 * the file, and a pipe serves as well as a file.
 *
 * Frames: CAN_MESSAGE (1), CAN_MESSAGE2 (86), CAN_FD_MESSAGE (100) and
 * CAN_FD_MESSAGE_64 (101); CAN_ERROR_EXT (73) is an error frame. Any other
 * object, and one whose header is neither version 1 nor 2, is passed over by its
 * size and counted as skipped. A frame object whose data bytes would reach past
 * its own end takes those it holds, and zeros for the rest. Times are the file's
 * start (as UTC; 0 when the file gives none) plus each object's timestamp;
 * channel n is the interface "CANn".
 *
 * A frame object too small for its fields, or with a length no CAN frame has, is
 * malformed; reading goes on after it. Damage (a file cut short, corrupt
 * compressed data, an object where none begins) is reported once, as a
 * malformed record that line() locates in the file, and ends the reading.
 */
class BlfReader : public LogReader
{
public:
    BlfReader(ByteInput input, InterfaceNames &interfaces);
    BlfReader(const QByteArray &bytes, InterfaceNames &interfaces);
    ~BlfReader() override;
    BlfReader(const BlfReader &) = delete;
    BlfReader &operator=(const BlfReader &) = delete;

    Next next(CanFrame &frame) override;
    void setWaitLimit(int milliseconds) override;
    bool timed() const override;
    LogFormat format() const override;
    qint64 lineNumber() const override;
    const char *error() const override;
    QByteArray line() const override;
    qint64 bytesRead() const override;
    QString readError() const override;
    quint64 skipped() const override;

private:
    /// How far reading got.
    enum class Step { Ready, End, Damaged, ReadError, Interrupted };

    Step readFileHeader();
    Step passOver();
    Step toNextObject();
    Step hold(std::size_t count);
    Step produce();
    Step openContainer();
    Step copyStored();
    Step inflateSome();
    Step damaged(const char *why);
    Next decode(quint32 type, std::size_t size, std::size_t headerSize, CanFrame &frame);
    Next finish(Step step);

    ByteInput input;
    ChannelNames channels;
    struct Inflater;
    std::unique_ptr<Inflater> inflater;

    /// The objects' bytes, out of the containers, not yet read: [begin, end).
    std::vector<unsigned char> window;
    std::size_t begin = 0;
    std::size_t end = 0;
    /// Bytes of the object read last still to be passed over.
    quint64 passing = 0;

    /// The container being read: its data still in the file, and how it is stored.
    quint64 containerLeft = 0;
    bool inContainer = false;
    bool compressed = false;

    bool headerRead = false;
    bool ended = false;
    qint64 startMicroseconds = 0;
    qint64 objects = 0;
    quint64 skippedObjects = 0;
    const char *lastError = nullptr;
    qint64 damageAt = -1;
    quint32 lastType = 0;
};
