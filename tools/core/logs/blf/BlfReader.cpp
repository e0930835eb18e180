// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BlfReader.h"
#include "BlfLayout.h"

#include <QDateTime>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace
{
// The window holds a container's worth of objects and room for one to grow.
constexpr std::size_t windowSize = Blf::containerDataSize + 4096;
// Below this much room behind the bytes held, they move to the window's front.
constexpr std::size_t minimumRoom = 4096;
// Padding comes before the next object: it is looked for this far.
constexpr std::size_t paddingReach = 8;

quint16 u16(const unsigned char *at)
{
    return qFromLittleEndian<quint16>(at);
}

quint32 u32(const unsigned char *at)
{
    return qFromLittleEndian<quint32>(at);
}

// SYSTEMTIME: year, month, day of the week, day, hour, minute, second and
// millisecond (u16 each); 0 where it names no valid time, as a file that does
// not know its start writes it.
qint64 systemTimeMicroseconds(const unsigned char *at)
{
    const QDate date(u16(at), u16(at + 2), u16(at + 6));
    const QTime time(u16(at + 8), u16(at + 10), u16(at + 12), u16(at + 14));
    if (!date.isValid() || !time.isValid()) {
        return 0;
    }
    return QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch() * 1000;
}

const unsigned char *findObject(const unsigned char *at, std::size_t size)
{
    for (std::size_t i = 0; i + 4 <= size && i < paddingReach; ++i) {
        if (std::memcmp(at + i, Blf::objectSignature, 4) == 0) {
            return at + i;
        }
    }
    return nullptr;
}
}

struct BlfReader::Inflater
{
    Inflater()
    {
        ready = inflateInit(&stream) == Z_OK;
    }
    ~Inflater()
    {
        if (ready) {
            inflateEnd(&stream);
        }
    }
    z_stream stream{};
    bool ready = false;
    bool finished = false;
};

BlfReader::BlfReader(ByteInput input, InterfaceNames &interfaces)
    : input(std::move(input))
    , channels(interfaces)
    , inflater(std::make_unique<Inflater>())
    , window(windowSize)
{
}

BlfReader::BlfReader(const QByteArray &bytes, InterfaceNames &interfaces)
    : BlfReader(ByteInput(bytes), interfaces)
{
}

BlfReader::~BlfReader() = default;

BlfReader::Step BlfReader::damaged(const char *why)
{
    lastError = why;
    damageAt = input.consumed();
    return Step::Damaged;
}

BlfReader::Step BlfReader::readFileHeader()
{
    ByteInput::Fill fill;
    const bool whole = input.hold(Blf::stopTimeOffset + 16, fill);
    const bool startsRight = input.available() >= 4 && std::memcmp(input.data(), Blf::fileSignature, 4) == 0;
    if (!whole && (fill == ByteInput::Fill::Failed || fill == ByteInput::Fill::Interrupted)) {
        return fill == ByteInput::Fill::Failed ? Step::ReadError : Step::Interrupted;
    }
    if (!startsRight || !whole) {
        return input.available() == 0 ? Step::End
            : startsRight             ? damaged("file ends within its header")
                                      : damaged("not a BLF: it does not start with LOGG");
    }
    const std::size_t size =
        std::max<std::size_t>(u32(reinterpret_cast<const unsigned char *>(input.data()) + 4), Blf::stopTimeOffset + 16);
    startMicroseconds =
        systemTimeMicroseconds(reinterpret_cast<const unsigned char *>(input.data()) + Blf::startTimeOffset);
    for (std::size_t left = size; left > 0;) {
        if (input.available() == 0 && !input.hold(1, fill)) {
            return fill == ByteInput::Fill::End ? damaged("file ends within its header") : Step::ReadError;
        }
        const std::size_t taken = std::min<std::size_t>(left, input.available());
        input.consume(taken);
        left -= taken;
    }
    headerRead = true;
    return Step::Ready;
}

// The next log container's header, read from the file: its data goes into the
// window from there on. An object of another type outside any container goes
// into the window as it is.
BlfReader::Step BlfReader::openContainer()
{
    ByteInput::Fill fill;
    input.hold(paddingReach + Blf::baseHeaderSize, fill);
    const auto *at = reinterpret_cast<const unsigned char *>(input.data());
    const std::size_t held = input.available();
    if (fill == ByteInput::Fill::Failed || fill == ByteInput::Fill::Interrupted) {
        return fill == ByteInput::Fill::Failed ? Step::ReadError : Step::Interrupted;
    }
    const unsigned char *object = findObject(at, held);
    if (!object) {
        const bool padding = std::all_of(at, at + held, [](unsigned char byte) { return byte == 0; });
        return held < paddingReach && padding ? Step::End : damaged("no object where the next one should begin");
    }
    input.consume(static_cast<std::size_t>(object - at));
    if (input.available() < Blf::baseHeaderSize) {
        return damaged("file ends within an object's header");
    }
    at = reinterpret_cast<const unsigned char *>(input.data());
    const quint32 size = u32(at + 8);
    inContainer = true;
    if (u32(at + 12) != Blf::logContainer) {
        compressed = false;
        containerLeft = size;
        return size < Blf::baseHeaderSize ? damaged("object smaller than its header") : Step::Ready;
    }
    if (size < Blf::containerHeaderSize || !input.hold(Blf::containerHeaderSize, fill)) {
        return damaged(size < Blf::containerHeaderSize ? "log container smaller than its header"
                                                       : "file ends within a log container's header");
    }
    at = reinterpret_cast<const unsigned char *>(input.data());
    const quint16 method = u16(at + Blf::containerMethodOffset);
    if (method != Blf::stored && method != Blf::zlibDeflate) {
        return damaged("log container compressed by a method other than zlib");
    }
    input.consume(Blf::containerHeaderSize);
    containerLeft = size - Blf::containerHeaderSize;
    compressed = method == Blf::zlibDeflate;
    if (compressed) {
        inflater->finished = false;
        if (!inflater->ready || inflateReset(&inflater->stream) != Z_OK) {
            return damaged("zlib cannot be started");
        }
    }
    return Step::Ready;
}

BlfReader::Step BlfReader::copyStored()
{
    ByteInput::Fill fill;
    if (containerLeft > 0 && input.available() == 0 && !input.hold(1, fill)) {
        return fill == ByteInput::Fill::End ? damaged("file ends within a log container") : Step::ReadError;
    }
    const std::size_t taken =
        static_cast<std::size_t>(std::min<quint64>({containerLeft, input.available(), window.size() - end}));
    std::memcpy(window.data() + end, input.data(), taken);
    input.consume(taken);
    end += taken;
    containerLeft -= taken;
    inContainer = containerLeft > 0;
    return Step::Ready;
}

BlfReader::Step BlfReader::inflateSome()
{
    z_stream &stream = inflater->stream;
    const std::size_t before = end;
    while (end == before && inContainer) {
        ByteInput::Fill fill;
        if (containerLeft > 0 && input.available() == 0 && !input.hold(1, fill)) {
            return fill == ByteInput::Fill::End ? damaged("file ends within a log container") : Step::ReadError;
        }
        const std::size_t given = static_cast<std::size_t>(std::min<quint64>(containerLeft, input.available()));
        if (inflater->finished) {
            // What follows the end of the compressed data in its container.
            input.consume(given);
            containerLeft -= given;
            inContainer = containerLeft > 0;
            continue;
        }
        if (given == 0) {
            return damaged("log container's compressed data ends early");
        }
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.data()));
        stream.avail_in = static_cast<uInt>(std::min<std::size_t>(given, 1u << 30));
        stream.next_out = window.data() + end;
        stream.avail_out = static_cast<uInt>(window.size() - end);
        const int result = inflate(&stream, Z_NO_FLUSH);
        const std::size_t used = stream.avail_in == 0 ? given : given - stream.avail_in;
        input.consume(std::min(used, given));
        containerLeft -= std::min(used, given);
        end = window.size() - stream.avail_out;
        if (result == Z_STREAM_END) {
            inflater->finished = true;
            inContainer = containerLeft > 0;
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            return damaged("log container's compressed data is corrupt");
        }
    }
    return Step::Ready;
}

// More bytes into the window, from the container being read or the next one.
BlfReader::Step BlfReader::produce()
{
    if (window.size() - end < minimumRoom) {
        std::memmove(window.data(), window.data() + begin, end - begin);
        end -= begin;
        begin = 0;
        if (window.size() - end < minimumRoom) {
            window.resize(window.size() * 2);
        }
    }
    if (!inContainer) {
        const Step opened = openContainer();
        if (opened != Step::Ready) {
            return opened;
        }
    }
    return compressed ? inflateSome() : copyStored();
}

BlfReader::Step BlfReader::hold(std::size_t count)
{
    while (end - begin < count) {
        const Step step = produce();
        if (step != Step::Ready) {
            return step;
        }
    }
    return Step::Ready;
}

// Passes over the rest of the object read last.
BlfReader::Step BlfReader::passOver()
{
    while (passing > 0) {
        if (end == begin) {
            begin = end = 0;
            const Step step = produce();
            if (step != Step::Ready) {
                return step == Step::End ? damaged("file ends within an object") : step;
            }
        }
        const std::size_t taken = static_cast<std::size_t>(std::min<quint64>(passing, end - begin));
        begin += taken;
        passing -= taken;
    }
    return Step::Ready;
}

// To the next object's signature, past the padding of the one before.
BlfReader::Step BlfReader::toNextObject()
{
    const Step step = hold(paddingReach + Blf::baseHeaderSize);
    if (step != Step::End && step != Step::Ready) {
        return step;
    }
    const unsigned char *at = window.data() + begin;
    const unsigned char *object = findObject(at, end - begin);
    if (!object) {
        const bool padding = std::all_of(at,
                                         static_cast<const unsigned char *>(window.data() + end),
                                         [](unsigned char byte) { return byte == 0; });
        return step == Step::End && padding ? Step::End : damaged("no object where the next one should begin");
    }
    begin += static_cast<std::size_t>(object - at);
    return end - begin < Blf::baseHeaderSize ? damaged("file ends within an object's header") : Step::Ready;
}

LogReader::Next BlfReader::finish(Step step)
{
    switch (step) {
    case Step::Ready:
    case Step::End:
        ended = true;
        return Next::End;
    case Step::Damaged:
        ended = true;
        return Next::Malformed;
    case Step::ReadError:
        return Next::ReadError;
    case Step::Interrupted:
        return Next::Interrupted;
    }
    return Next::End;
}

LogReader::Next BlfReader::next(CanFrame &frame)
{
    if (ended) {
        return Next::End;
    }
    if (!headerRead) {
        const Step step = readFileHeader();
        if (step != Step::Ready) {
            return finish(step);
        }
    }
    for (;;) {
        Step step = passOver();
        if (step == Step::Ready) {
            step = toNextObject();
        }
        if (step != Step::Ready) {
            return finish(step);
        }
        ++objects;
        const unsigned char *at = window.data() + begin;
        const std::size_t headerSize = u16(at + 4);
        const quint16 version = u16(at + 6);
        const quint32 size = u32(at + 8);
        const quint32 type = u32(at + 12);
        if (headerSize < Blf::baseHeaderSize || size < headerSize) {
            return finish(damaged("object's sizes out of order"));
        }
        passing = size;
        const bool frameObject = type == Blf::canMessage || type == Blf::canMessage2 || type == Blf::canFdMessage
            || type == Blf::canFdMessage64 || type == Blf::canErrorExt;
        if (!frameObject || (version != 1 && version != 2)) {
            ++skippedObjects;
            continue;
        }
        // A frame object's fields and at most 64 data bytes are read from the window.
        step = hold(std::min<std::size_t>(size, headerSize + Blf::canFd64Fixed + 64));
        if (step != Step::Ready) {
            return finish(step == Step::End ? damaged("file ends within an object") : step);
        }
        return decode(type, size, headerSize, frame);
    }
}

LogReader::Next BlfReader::decode(quint32 type, std::size_t size, std::size_t headerSize, CanFrame &frame)
{
    const unsigned char *object = window.data() + begin;
    const unsigned char *at = object + headerSize;
    const std::size_t body = size - headerSize;
    const std::size_t fixed = type == Blf::canFdMessage64 ? Blf::canFd64Fixed
        : type == Blf::canFdMessage                       ? Blf::canFdMessageFixed
        : type == Blf::canErrorExt                        ? Blf::canErrorExtSize
                                                          : Blf::canMessageSize;
    const std::size_t minimumHeader = u16(object + 6) == 1 ? Blf::headerSizeV1 : Blf::headerSizeV2;
    lastType = type;
    if (headerSize < minimumHeader || body < fixed) {
        lastError = "frame object too small for its fields";
        return Next::Malformed;
    }
    clearFrameHead(frame);
    const quint64 stamp = qFromLittleEndian<quint64>(object + Blf::timestampOffset);
    frame.timeMicroseconds = startMicroseconds
        + static_cast<qint64>(u32(object + Blf::flagsOffset) == Blf::timeTenMicroseconds ? stamp * 10
                                                                                         : (stamp + 500) / 1000);
    const bool narrowChannel = type == Blf::canFdMessage64;
    frame.interfaceIndex = channels.index(narrowChannel ? at[0] : u16(at));
    if (type == Blf::canErrorExt) {
        return Next::ErrorFrame;
    }
    const quint32 id = u32(at + 4);
    frame.extended = (id & Blf::extendedFlag) != 0;
    frame.id = id & 0x1FFFFFFF;
    int length = 0;
    std::size_t dataOffset = 8;
    std::size_t held = 8;
    if (type == Blf::canFdMessage) {
        frame.remote = (at[2] & Blf::remoteFlag) != 0;
        frame.flexibleDataRate = (at[Blf::canFdFlagsOffset] & Blf::canFdFormat) != 0;
        length = at[Blf::canFdValidBytesOffset];
        dataOffset = Blf::canFdMessageFixed;
        held = body - dataOffset;
    } else if (type == Blf::canFdMessage64) {
        const quint32 flags = u32(at + Blf::canFd64FlagsOffset);
        frame.remote = (flags & Blf::canFd64Remote) != 0;
        frame.flexibleDataRate = (flags & Blf::canFd64Format) != 0;
        length = at[2];
        dataOffset = Blf::canFd64Fixed;
        const std::size_t extended = object[headerSize + Blf::canFd64ExtOffset];
        const std::size_t dataEnd = extended >= headerSize + dataOffset && extended < size ? extended : size;
        held = dataEnd - headerSize - dataOffset;
    } else {
        frame.remote = (at[2] & Blf::remoteFlag) != 0;
        length = std::min<int>(at[3], 8);
    }
    if (frame.id > (frame.extended ? 0x1FFFFFFFu : 0x7FFu)) {
        lastError = "11-bit identifier above 7FF";
        return Next::Malformed;
    }
    if (frame.remote) {
        frame.flexibleDataRate = false;
        return Next::Frame;
    }
    if (length > 64 || !isCanFdLength(length) || (!frame.flexibleDataRate && length > 8)) {
        lastError = "data length is not one of a CAN or CAN FD frame";
        return Next::Malformed;
    }
    frame.length = static_cast<quint8>(length);
    const std::size_t taken = std::min<std::size_t>(held, frame.length);
    std::memcpy(frame.data.data(), at + dataOffset, taken);
    std::memset(frame.data.data() + taken, 0, frame.length - taken);
    return Next::Frame;
}

void BlfReader::setWaitLimit(int)
{
}

bool BlfReader::timed() const
{
    return true;
}

LogFormat BlfReader::format() const
{
    return LogFormat::Blf;
}

qint64 BlfReader::lineNumber() const
{
    return objects;
}

const char *BlfReader::error() const
{
    return lastError;
}

QByteArray BlfReader::line() const
{
    return damageAt < 0 ? "an object of type " + QByteArray::number(lastType)
                        : "at byte " + QByteArray::number(damageAt) + " of the file";
}

qint64 BlfReader::bytesRead() const
{
    return input.consumed();
}

QString BlfReader::readError() const
{
    return input.readError();
}

quint64 BlfReader::skipped() const
{
    return skippedObjects;
}
