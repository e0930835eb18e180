// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BlfWriter.h"
#include "BlfLayout.h"

#include <QDateTime>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace
{
// Times before 1990 are taken for times from the start of a log, not from the epoch.
constexpr qint64 epochTimesFrom = Q_INT64_C(631152000000000);

void putSystemTime(unsigned char *at, qint64 microseconds)
{
    if (microseconds < epochTimesFrom) {
        std::memset(at, 0, 16);
        return;
    }
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(microseconds / 1000, Qt::UTC);
    const int fields[] = {time.date().year(),
                          time.date().month(),
                          time.date().dayOfWeek() % 7,
                          time.date().day(),
                          time.time().hour(),
                          time.time().minute(),
                          time.time().second(),
                          time.time().msec()};
    for (const int field : fields) {
        qToLittleEndian(static_cast<quint16>(field), at);
        at += 2;
    }
}

void putBaseHeader(unsigned char *at, quint16 headerSize, quint32 objectSize, quint32 type)
{
    std::memcpy(at, Blf::objectSignature, 4);
    qToLittleEndian(headerSize, at + 4);
    qToLittleEndian(quint16(1), at + 6);
    qToLittleEndian(objectSize, at + 8);
    qToLittleEndian(type, at + 12);
}
}

BlfWriter::BlfWriter(const QString &fileName, const InterfaceNames &interfaces, int compressionLevel)
    : LogWriter(LogFormat::Blf, fileName, interfaces)
    , level(compressionLevel)
{
}

// Written first with what is known, and again at the end with the file's size,
// its object count and its last frame's time.
void BlfWriter::writeHeader()
{
    unsigned char header[Blf::fileHeaderSize] = {};
    std::memcpy(header, Blf::fileSignature, 4);
    qToLittleEndian(quint32(Blf::fileHeaderSize), header + 4);
    // The application (none known) and the format's version, 2.6.8.1.
    const unsigned char version[] = {0, 0, 0, 0, 2, 6, 8, 1};
    std::memcpy(header + 8, version, sizeof(version));
    qToLittleEndian(quint64(file.size()), header + Blf::fileSizeOffset);
    qToLittleEndian(quint64(Blf::fileHeaderSize) + uncompressedBytes, header + Blf::uncompressedSizeOffset);
    qToLittleEndian(objects, header + Blf::objectCountOffset);
    putSystemTime(header + Blf::startTimeOffset, start);
    putSystemTime(header + Blf::stopTimeOffset, last);
    put(reinterpret_cast<const char *>(header), sizeof(header));
}

void BlfWriter::writeFrame(const CanFrame &frame, bool errorFrame)
{
    if (!started) {
        started = true;
        start = frame.timeMicroseconds < epochTimesFrom ? 0 : frame.timeMicroseconds - frame.timeMicroseconds % 1000;
        writeHeader();
    }
    last = frame.timeMicroseconds;
    unsigned char body[Blf::canFd64Fixed + 64] = {};
    const quint32 id = frame.id | (frame.extended ? Blf::extendedFlag : 0);
    const quint32 number = channel(frame);
    if (errorFrame) {
        qToLittleEndian(static_cast<quint16>(number), body);
        addObject(Blf::canErrorExt, frame.timeMicroseconds, body, Blf::canErrorExtSize);
    } else if (frame.flexibleDataRate) {
        body[0] = static_cast<unsigned char>(number);
        body[1] = static_cast<unsigned char>(canFdDlc(frame.length));
        body[2] = frame.length;
        qToLittleEndian(id, body + 4);
        qToLittleEndian(Blf::canFd64Format, body + Blf::canFd64FlagsOffset);
        std::memcpy(body + Blf::canFd64Fixed, frame.data.data(), frame.length);
        addObject(Blf::canFdMessage64, frame.timeMicroseconds, body, Blf::canFd64Fixed + frame.length);
    } else {
        qToLittleEndian(static_cast<quint16>(number), body);
        body[2] = frame.remote ? Blf::remoteFlag : 0;
        body[3] = frame.length;
        qToLittleEndian(id, body + 4);
        std::memcpy(body + 8, frame.data.data(), frame.length);
        addObject(Blf::canMessage, frame.timeMicroseconds, body, Blf::canMessageSize);
    }
}

void BlfWriter::addObject(quint32 type, qint64 microseconds, const unsigned char *body, std::size_t size)
{
    unsigned char header[Blf::headerSizeV1] = {};
    const quint32 objectSize = static_cast<quint32>(Blf::headerSizeV1 + size);
    putBaseHeader(header, Blf::headerSizeV1, objectSize, type);
    qToLittleEndian(Blf::timeOneNanosecond, header + Blf::flagsOffset);
    qToLittleEndian(static_cast<quint64>(std::max<qint64>(0, microseconds - start)) * 1000,
                    header + Blf::timestampOffset);
    objectsHeld.insert(objectsHeld.end(), header, header + sizeof(header));
    objectsHeld.insert(objectsHeld.end(), body, body + size);
    objectsHeld.insert(objectsHeld.end(), objectSize % 4, 0);
    ++objects;
    if (objectsHeld.size() >= Blf::containerDataSize) {
        writeContainer(Blf::containerDataSize);
    }
}

// The first size bytes of the objects held, in one container; the rest wait for the next.
void BlfWriter::writeContainer(std::size_t size)
{
    uLongf length = compressBound(static_cast<uLong>(size));
    compressed.assign(Blf::containerHeaderSize + length + 3, 0);
    compress2(compressed.data() + Blf::containerHeaderSize,
              &length,
              objectsHeld.data(),
              static_cast<uLong>(size),
              level);
    const quint32 objectSize = static_cast<quint32>(Blf::containerHeaderSize + length);
    putBaseHeader(compressed.data(), Blf::baseHeaderSize, objectSize, Blf::logContainer);
    qToLittleEndian(Blf::zlibDeflate, compressed.data() + Blf::containerMethodOffset);
    qToLittleEndian(static_cast<quint32>(size), compressed.data() + Blf::containerUncompressedOffset);
    put(reinterpret_cast<const char *>(compressed.data()), objectSize + objectSize % 4);
    uncompressedBytes += Blf::containerHeaderSize + size;
    objectsHeld.erase(objectsHeld.begin(), objectsHeld.begin() + static_cast<std::ptrdiff_t>(size));
}

void BlfWriter::writeEnd()
{
    if (!started) {
        writeHeader();
    }
    if (!objectsHeld.empty()) {
        writeContainer(objectsHeld.size());
    }
    flush();
    file.seek(0);
    writeHeader();
}
