// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "LogWriter.h"

#include <vector>

/**
 * A BLF: the file's header, then log containers of 128 KiB of objects each,
 * compressed with zlib. Classic frames and remote requests are CAN_MESSAGE
 * objects, CAN FD frames CAN_FD_MESSAGE_64, error frames CAN_ERROR_EXT, each
 * with a version 1 header stamped in nanoseconds from the file's start: the
 * first frame's time to the millisecond (as UTC), or none (zeros) for a log
 * whose times count from its start rather than from the epoch.
 */
class BlfWriter : public LogWriter
{
public:
    BlfWriter(const QString &fileName, const InterfaceNames &interfaces, int compressionLevel = -1);

protected:
    void writeFrame(const CanFrame &frame, bool errorFrame) override;
    void writeEnd() override;

private:
    void writeHeader();
    void addObject(quint32 type, qint64 microseconds, const unsigned char *body, std::size_t size);
    void writeContainer(std::size_t size);

    int level;
    bool started = false;
    qint64 start = 0;
    qint64 last = 0;
    quint32 objects = 0;
    quint64 uncompressedBytes = 0;
    std::vector<unsigned char> objectsHeld;
    std::vector<unsigned char> compressed;
};
