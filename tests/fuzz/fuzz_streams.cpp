// SPDX-License-Identifier: LGPL-2.1-or-later
// Arbitrary bytes for both record readers, record after record until the stream
// is exhausted or fails. Besides memory errors it checks that a version the
// reader does not accept consumes exactly its two bytes and leaves the status Ok.
//
// The first byte chooses the stream: bits 0-1 its version, bit 2 little-endian,
// bit 3 single precision; bits 4-7, repeated, whether the record at an index is a
// CANopenObjectValue (set) or a J1939Value. Qt_5_0 is left out: at that version
// Qt 5.15's own QDateTime reader crashes on a date out of range with a time kind
// byte of 255 (a QVariant of type 16), which no record reader can prevent and
// which would hide everything else.
#include <Talveno/Talveno.h>

#include <QBuffer>
#include <QtEndian>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace
{
void quiet(QtMsgType, const QMessageLogContext &, const QString &)
{
}

template<typename T>
void readRecord(QBuffer &buffer, QDataStream &stream, bool (*accepted)(qint16))
{
    const qint64 start = buffer.pos();
    const QByteArray head = buffer.data().mid(int(start), 2);
    T record;
    stream >> record;
    if (head.size() < 2) {
        return;
    }
    const qint16 version = stream.byteOrder() == QDataStream::BigEndian ? qFromBigEndian<qint16>(head.constData())
                                                                        : qFromLittleEndian<qint16>(head.constData());
    if (!accepted(version) && (buffer.pos() != start + 2 || stream.status() != QDataStream::Ok)) {
        std::abort();
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Qt warns about unknown QVariant types; that is expected here and only noise.
    static const QtMessageHandler previous = qInstallMessageHandler(quiet);
    Q_UNUSED(previous)

    if (size == 0) {
        return 0;
    }
    const quint8 choice = data[0];
    QByteArray bytes(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream stream(&buffer);
    const int versions[] = {QDataStream::Qt_4_0, QDataStream::Qt_4_6, QDataStream::Qt_5_2, QDataStream::Qt_5_15};
    stream.setVersion(versions[choice & 3]);
    stream.setByteOrder(choice & 4 ? QDataStream::LittleEndian : QDataStream::BigEndian);
    stream.setFloatingPointPrecision(choice & 8 ? QDataStream::SinglePrecision : QDataStream::DoublePrecision);

    // A corrupt element count can make Qt allocate beyond what the process may
    // have; the allocation failure leaving the operator is allowed, so the input ends.
    try {
        for (int index = 0; stream.status() == QDataStream::Ok && !stream.atEnd(); ++index) {
            if ((choice >> (4 + index % 4)) & 1) {
                readRecord<CANopenObjectValue>(buffer, stream, [](qint16 version) { return version == 1; });
            } else {
                readRecord<J1939Value>(buffer, stream, [](qint16 version) { return version == 1 || version == 2; });
            }
        }
    } catch (const std::bad_alloc &) {
    }
    return 0;
}
