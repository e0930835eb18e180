// SPDX-License-Identifier: LGPL-2.1-or-later
// Writes the seed corpus of the streams fuzz target: valid records under several
// stream settings, plus a J1939 version 1 record and unaccepted versions.
//   streams_seeds DIR
#include "streams_choice.h"

#include <Talveno/Talveno.h>

#include <QFile>
#include <QTextStream>

namespace
{
J1939Value j1939(int index)
{
    J1939Value value;
    value.rawValue = index % 2 ? QVariant(quint32(4000000000u)) : QVariant(-7);
    value.scaledValue = index % 3 ? QVariant(2.5) : QVariant(QStringLiteral("12.5 kPa"));
    value.auxInt = 1000 + index;
    value.auxDouble = -0.125 * index;
    return value;
}

CANopenObjectValue canopen(int index)
{
    CANopenObjectValue value;
    value.rawValue = index % 2 ? QVariant(qlonglong(-5000000000LL)) : QVariant();
    value.scaledValue = QVariant(1.5 * index);
    value.auxByte1 = -1;
    value.auxByte2 = qint8(index);
    value.auxDouble1 = 0.25;
    value.auxDouble2 = -2.0;
    value.auxInt = -index;
    return value;
}

// A seed must read to its end without failure, as the fuzz target reads it.
bool readsCleanly(const QByteArray &bytes)
{
    QDataStream stream(bytes.mid(1));
    StreamsChoice::configure(stream, quint8(bytes.at(0)));
    for (int index = 0; !stream.atEnd(); ++index) {
        if (StreamsChoice::isCANopen(quint8(bytes.at(0)), index)) {
            CANopenObjectValue record;
            stream >> record;
        } else {
            J1939Value record;
            stream >> record;
        }
    }
    return stream.status() == QDataStream::Ok;
}

bool save(const QString &path, const QByteArray &bytes)
{
    if (!readsCleanly(bytes)) {
        QTextStream(stderr) << path << " does not read cleanly\n";
        return false;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Four records in the order the choice byte gives.
QByteArray records(quint8 choice)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << choice;
    StreamsChoice::configure(stream, choice);
    for (int index = 0; index < 4; ++index) {
        if (StreamsChoice::isCANopen(choice, index)) {
            stream << canopen(index);
        } else {
            stream << j1939(index);
        }
    }
    return bytes;
}

// A J1939 record of version 1, a J1939 version 3 and a CANopen version 2 (both
// just the version field), then a current J1939 record.
QByteArray oldAndUnknownVersions()
{
    const quint8 choice = 0x43; // Qt 5.15, big-endian, double; J, J, C, J
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << choice;
    StreamsChoice::configure(stream, choice);
    stream << qint16(1) << QVariant(3) << QVariant(4.5) << qint32(-7);
    stream << qint16(3) << qint16(2) << j1939(1);
    return bytes;
}
}

int main(int argc, char *argv[])
{
    if (argc != 2) {
        QTextStream(stderr) << "usage: streams_seeds DIR\n";
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    // Choice bytes: Qt 5.15 big-endian J only, Qt 5.15 little-endian C only,
    // Qt 5.15 single precision mixed, Qt 5.2 little-endian mixed, Qt 4.0 mixed.
    const quint8 choices[] = {0x03, 0xf7, 0x5b, 0x26, 0x90};
    bool ok = save(dir + QStringLiteral("versions-old-and-unknown"), oldAndUnknownVersions());
    for (const quint8 choice : choices) {
        ok = save(dir + QStringLiteral("records-%1").arg(choice, 2, 16, QLatin1Char('0')), records(choice)) && ok;
    }
    return ok ? 0 : 1;
}
