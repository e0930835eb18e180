// SPDX-License-Identifier: LGPL-2.1-or-later
// The library's side of the record exchange with an independent Qt binding:
//   stream_peer IN OUT big|little ORDER
// reads one record per letter of ORDER (J: J1939Value, C: CANopenObjectValue) from
// IN and writes each to OUT as the library writes it. Fails unless IN reads
// cleanly to its end.
#include <Talveno/Talveno.h>

#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: stream_peer IN OUT big|little ORDER\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "stream_peer: cannot open %s or %s\n", argv[1], argv[2]);
        return 2;
    }
    QDataStream reader(&in);
    QDataStream writer(&out);
    for (QDataStream *stream : {&reader, &writer}) {
        stream->setVersion(QDataStream::Qt_5_15);
        stream->setByteOrder(qstrcmp(argv[3], "little") == 0 ? QDataStream::LittleEndian : QDataStream::BigEndian);
    }
    for (const char *kind = argv[4]; *kind != '\0'; ++kind) {
        if (*kind == 'C') {
            CANopenObjectValue record;
            reader >> record;
            writer << record;
        } else {
            J1939Value record;
            reader >> record;
            writer << record;
        }
    }
    return reader.status() == QDataStream::Ok && reader.atEnd() && writer.status() == QDataStream::Ok ? 0 : 1;
}
