// SPDX-License-Identifier: LGPL-2.1-or-later
#include "json/DefinitionFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestDefinitions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseDefinitions_errors_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("field");
        const auto row = [](const char *name, const QByteArray &json, const char *start, const char *field) {
            QTest::newRow(name) << json << QString::fromUtf8(start) << QString::fromUtf8(field);
        };
        // A good definition, then the same changed by patch (a null value removes the key).
        const auto faulty = [](const char *patch) {
            const QJsonObject good =
                QJsonDocument::fromJson(R"({"name":"torque request","pgn":0,"startBit":0,"length":8,"factor":1})")
                    .object();
            QJsonObject fault = good;
            const QJsonObject changes = QJsonDocument::fromJson(patch).object();
            for (auto it = changes.begin(); it != changes.end(); ++it) {
                if (it.value().isNull()) {
                    fault.remove(it.key());
                } else {
                    fault.insert(it.key(), it.value());
                }
            }
            return QJsonDocument(QJsonObject{{QStringLiteral("signals"), QJsonArray{good, fault}}}).toJson();
        };
        const char *const second = "signal 2 (torque request): ";
        row("notJson", "{", "not valid JSON", "");
        row("noSignalsArray", "{}", "expected", "\"signals\"");
        row("noName", faulty(R"({"name":null})"), "signal 2: ", "\"name\"");
        row("noAddress", faulty(R"({"pgn":null})"), second, "\"pgn\"");
        row("pgnAndId", faulty(R"({"id":1})"), second, "\"id\"");
        row("noStartBit", faulty(R"({"startBit":null})"), second, "\"startBit\"");
        row("noLength", faulty(R"({"length":null})"), second, "\"length\"");
        row("noFactor", faulty(R"({"factor":null})"), second, "\"factor\"");
        row("startBit60Length16",
            faulty(R"({"startBit":60,"length":16})"),
            second,
            "\"startBit\" 60 with \"length\" 16");
        row("bigEndianPastByte8", faulty(R"({"startBit":56,"length":2,"byteOrder":"big"})"), second, "\"byteOrder\"");
        row("pastFrameLength12", faulty(R"({"frameLength":12,"startBit":90,"length":8})"), second, "\"startBit\"");
        row("frameLength10ById", faulty(R"({"pgn":null,"id":1,"frameLength":10})"), second, "\"frameLength\" 10");
        row("frameLength1786PastTheLongestGroup", faulty(R"({"frameLength":1786})"), second, "\"frameLength\" 1786");
        row("spnWithId", faulty(R"({"pgn":null,"id":1,"spn":190})"), second, "\"spn\"");
        row("unknownKeyStartbit", faulty(R"({"startbit":9})"), second, "\"startbit\"");
        row("maskWithPgn", faulty(R"({"mask":"0x7FF"})"), second, "\"mask\"");
        row("factorZero", faulty(R"({"factor":0})"), second, "\"factor\"");
        row("length65", faulty(R"({"length":65})"), second, "\"length\"");
        row("byteOrderSideways", faulty(R"({"byteOrder":"middle"})"), second, "\"byteOrder\"");
        row("dataType9", faulty(R"({"dataType":9})"), second, "\"dataType\"");
        row("dataType0", faulty(R"({"dataType":0})"), second, "\"dataType\" 0");
        row("dataTypeFloatListsNames", faulty(R"({"dataType":"float"})"), second, "Unsigned16, Unsigned24");
        row("unsigned8For16Bits", faulty(R"({"length":16,"dataType":"Unsigned8"})"), second, "would wrap");
        row("nameTwice", faulty("{}"), second, "signal 1 has this name");
        row("pgnPdu1WithLowByte", faulty(R"({"pgn":"0xEF12"})"), second, "\"pgn\"");
        row("idNotANumber", faulty(R"({"pgn":null,"id":"x"})"), second, "\"id\"");
    }

    void parseDefinitions_errors()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, start);
        QFETCH(QString, field);
        QVector<SignalDefinition> definitions;
        QString error;
        QVERIFY(!parseDefinitions(json, definitions, error));
        QVERIFY2(error.startsWith(start), qPrintable(error));
        QVERIFY2(error.contains(field), qPrintable(error));
    }

    void parseDefinitions_fields()
    {
        // The torque sits in bytes 9 and 10 of a 12-byte CAN FD frame.
        const QByteArray json = R"({"signals":[
        {"name":"torque","unit":"Nm","id":"0x1A0","mask":"0x7F0","startBit":79,"length":12,"byteOrder":"big",
         "signed":true,"factor":0.5,"offset":-10,"dataType":"Integer16","frameLength":12},
        {"name":"retarder","pgn":61440,"sourceAddress":"0x29","startBit":"010","length":8,"factor":1}]})";
        QVector<SignalDefinition> definitions;
        QString error;
        QVERIFY2(parseDefinitions(json, definitions, error), qPrintable(error));
        QCOMPARE(definitions.size(), 2);
        const SignalDefinition &torque = definitions.at(0);
        QVERIFY(torque.unit == QStringLiteral("Nm"));
        QVERIFY(!torque.j1939);
        QVERIFY(!torque.extended);
        QVERIFY(!torque.skipNotAvailable);
        QVERIFY(torque.id == 0x1A0);
        QVERIFY(torque.mask == 0x7F0);
        QVERIFY(torque.startBit == 79);
        QVERIFY(torque.length == 12);
        QVERIFY(torque.isSigned);
        QVERIFY(torque.byteOrder == SignalDefinition::ByteOrder::BigEndian);
        QVERIFY(torque.factor == 0.5);
        QVERIFY(torque.offset == -10.0);
        QVERIFY(torque.dataType == CAN::Integer16);
        const SignalDefinition &retarder = definitions.at(1);
        QVERIFY(retarder.j1939);
        QVERIFY(retarder.pgn == 61440);
        QVERIFY(retarder.sourceAddress == 0x29);
        QVERIFY(retarder.skipNotAvailable);
        QVERIFY(retarder.dataType == CAN::Real64);
        QVERIFY(!retarder.isSigned);
        QCOMPARE(retarder.startBit, 10); // "010" is decimal, not octal
    }
};

QTEST_GUILESS_MAIN(TestDefinitions)
#include "tst_definitions.moc"
