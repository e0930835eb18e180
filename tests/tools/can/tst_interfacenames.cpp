// SPDX-License-Identifier: LGPL-2.1-or-later
#include "InterfaceNames.h"

#include <QTest>

class TestInterfaceNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Names asked for in turn, alternately as text and as bytes (the log's way),
    // and the index each gets: the order they first appear.
    void index_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("indexes");
        const auto row = [](const char *name, const char *names, const char *indexes) {
            QTest::newRow(name) << QString::fromUtf8(names).split(QLatin1Char(' ')) << QString::fromLatin1(indexes);
        };
        row("repeatsKeepTheirIndex", "can0 can1 can0 can1", "0 1 0 1");
        row("prefixIsAnotherName", "can1 can10 can1 can10", "0 1 0 1");
        row("longerNameFirst", "vcan10 vcan1 vcan10", "0 1 0");
        row("caseTellsApart", "CAN0 can0", "0 1");
        // Names of 4 to 8 bytes are compared as two words that overlap.
        row("sameLengthOneByteApart", "abcdXfgh abcdYfgh abcXefgh abcdXfgh vcan0a vcan1a vcan0a", "0 1 2 0 3 4 3");
        row("emptyName", " can0 ", "0 1 0");
        // The last name is kept for a quick compare up to 16 bytes long.
        row("longNamesShareTheKeptBytes",
            "can_powertrain_0 can_powertrain_0x can_powertrain_0x can_powertrain_0",
            "0 1 1 0");
        row("utf8Name", "kanal\u00e4 kanal\u00e4", "0 0");
    }

    void index()
    {
        QFETCH(QStringList, names);
        InterfaceNames interfaces;
        QStringList indexes;
        for (int i = 0; i < names.size(); ++i) {
            const QByteArray bytes = names.at(i).toUtf8();
            const quint16 index = i % 2 == 0 ? interfaces.index(names.at(i))
                                             : interfaces.index(bytes.constData(), std::size_t(bytes.size()));
            indexes.append(QString::number(index));
            QCOMPARE(interfaces.name(index), names.at(i));
        }
        QTEST(indexes.join(QLatin1Char(' ')), "indexes");
        QCOMPARE(interfaces.count(), QSet<QString>(names.cbegin(), names.cend()).size());
        QCOMPARE(interfaces.name(quint16(interfaces.count())), QString());
    }
};

QTEST_GUILESS_MAIN(TestInterfaceNames)
#include "tst_interfacenames.moc"
