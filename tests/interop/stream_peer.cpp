// SPDX-License-Identifier: LGPL-2.1-or-later
// The library's side of the record exchange with an independent Qt binding:
//   stream_peer write FILE big|little        writes a fixed set of records
//   stream_peer read FILE big|little ORDER   reads records (ORDER: J for J1939Value,
//                                            C for CANopenObjectValue) and prints
//                                            their fields, one record a line
#include <Talveno/Talveno.h>

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstring>
#include <limits>

namespace
{
QString bits(double value)
{
    quint64 pattern = 0;
    std::memcpy(&pattern, &value, sizeof pattern);
    return QStringLiteral("%1").arg(pattern, 16, 16, QLatin1Char('0'));
}

QString describe(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::UnknownType:
        return QStringLiteral("invalid");
    case QMetaType::Int:
        return QStringLiteral("int:%1").arg(value.toInt());
    case QMetaType::UInt:
        return QStringLiteral("uint:%1").arg(value.toUInt());
    case QMetaType::LongLong:
        return QStringLiteral("qlonglong:%1").arg(value.toLongLong());
    case QMetaType::Double:
        return QStringLiteral("double:") + bits(value.toDouble());
    case QMetaType::QString:
        return QStringLiteral("QString:") + value.toString();
    default:
        return QStringLiteral("type%1").arg(value.userType());
    }
}

QString describe(const J1939Value &value)
{
    return QStringLiteral("J1939 raw=%1 scaled=%2 auxInt=%3 auxDouble=%4")
        .arg(describe(value.rawValue), describe(value.scaledValue))
        .arg(value.auxInt)
        .arg(bits(value.auxDouble));
}

QString describe(const CANopenObjectValue &value)
{
    return QStringLiteral("CANopen raw=%1 scaled=%2 auxByte1=%3 auxByte2=%4 auxDouble1=%5 auxDouble2=%6 auxInt=%7")
        .arg(describe(value.rawValue), describe(value.scaledValue))
        .arg(value.auxByte1)
        .arg(value.auxByte2)
        .arg(bits(value.auxDouble1), bits(value.auxDouble2))
        .arg(value.auxInt);
}

// The fixed set; its fields are listed again on the other side of the exchange.
// The unstreamed fields are set too, so that writing any of them would show.
void writeRecords(QDataStream &stream)
{
    J1939Value first;
    first.rawValue = QVariant(std::numeric_limits<quint32>::max());
    first.scaledValue = QVariant(-0.5);
    first.auxInt = std::numeric_limits<qint32>::max();
    first.auxDouble = 6.5;
    first.auxByte1 = 9;
    first.excluded = true;

    CANopenObjectValue second;
    second.rawValue = QVariant(QStringLiteral("Drehzahl 1/min"));
    second.scaledValue = QVariant(qlonglong(9007199254740993LL));
    second.auxByte1 = -1;
    second.auxByte2 = -128;
    second.auxDouble1 = 0.1;
    second.auxDouble2 = -1e-300;
    second.auxInt = -5;
    second.auxDouble = 3.0;
    second.excluded = true;

    J1939Value third;
    third.scaledValue = QVariant(-1);
    third.auxDouble = -0.0;

    stream << first << second << third;
}

int fail(const QString &message)
{
    QTextStream(stderr) << "stream_peer: " << message << '\n';
    return 2;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const QString mode = arguments.value(1);
    if (arguments.size() < 4 || (mode == QLatin1String("read") && arguments.size() < 5)) {
        return fail(QStringLiteral("usage: stream_peer write FILE big|little | read FILE big|little ORDER"));
    }

    QFile file(arguments.at(2));
    if (!file.open(mode == QLatin1String("write") ? QIODevice::WriteOnly : QIODevice::ReadOnly)) {
        return fail(file.errorString());
    }
    QDataStream stream(&file);
    stream.setVersion(QDataStream::Qt_5_15);
    stream.setByteOrder(arguments.at(3) == QLatin1String("little") ? QDataStream::LittleEndian
                                                                   : QDataStream::BigEndian);

    if (mode == QLatin1String("write")) {
        writeRecords(stream);
        return stream.status() == QDataStream::Ok && file.flush() ? 0 : fail(QStringLiteral("write failed"));
    }

    QTextStream out(stdout);
    out.setCodec("UTF-8");
    for (const QChar kind : arguments.at(4)) {
        if (kind == QLatin1Char('J')) {
            J1939Value value;
            stream >> value;
            out << describe(value) << '\n';
        } else {
            CANopenObjectValue value;
            stream >> value;
            out << describe(value) << '\n';
        }
    }
    out << "end atEnd=" << int(stream.atEnd()) << " status=" << int(stream.status()) << '\n';
    return 0;
}
