// SPDX-License-Identifier: LGPL-2.1-or-later
// Databases read and their signals decoded: what each construct of a DBC file
// must give for one frame, and every real database loading.
#include "Monitor.h"
#include "dbc/DbcParser.h"
#include "dbc/DbcSignals.h"

#include <QDir>
#include <QTest>

#include <cmath>

namespace
{
const QByteArray header = "VERSION \"\"\n\nNS_ :\n\tCM_\n\tEV_DATA_\n\nBS_:\n\nBU_: A B\n\n";

CanFrame frameOf(quint32 id, bool extended, const QByteArray &data)
{
    CanFrame frame;
    frame.id = id;
    frame.extended = extended;
    frame.length = static_cast<quint8>(data.size());
    std::copy(data.cbegin(), data.cend(), frame.data.begin());
    return frame;
}

const SignalSnapshot *find(const QVector<SignalSnapshot> &snapshots, const QString &name)
{
    const auto found =
        std::find_if(snapshots.cbegin(), snapshots.cend(), [&name](const SignalSnapshot &s) { return s.name == name; });
    return found == snapshots.cend() ? nullptr : &*found;
}
}

class TestDbc : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // value NaN: the frame gives the signal no sample. error: the start of the
    // message that a database refused must give.
    void decode_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<uint>("id");
        QTest::addColumn<bool>("extended");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("detail");
        const double none = std::nan("");
        const auto row = [](const char *name,
                            const QByteArray &body,
                            uint id,
                            bool extended,
                            const QByteArray &hex,
                            const char *signal,
                            double value,
                            const char *detail = "") {
            QTest::newRow(name) << header + body << id << extended << QByteArray::fromHex(hex)
                                << QString::fromUtf8(signal) << value << QString::fromUtf8(detail);
        };
        const QByteArray m291 = "BO_ 291 M: 8 A\n";
        row("intelOddStart",
            m291 + " SG_ S : 3|11@1+ (1,0) [0|0] \"\" A\n",
            291,
            false,
            "A5C3F01234567890",
            "M.S",
            116);
        row("motorolaOddStart",
            m291 + " SG_ S : 5|11@0+ (1,0) [0|0] \"\" A\n",
            291,
            false,
            "A5C3F0123456",
            "M.S",
            1208);
        row("motorolaSignedScaled",
            m291 + " SG_ S : 13|13@0- (0.5,-40) [0|0] \"\" A\n",
            291,
            false,
            "A5C3F01234567890",
            "M.S",
            212);
        row("signed64",
            m291 + " SG_ S : 0|64@1- (1,0) [0|0] \"\" A\n",
            291,
            false,
            "00000000000000C0",
            "M.S",
            -4611686018427387904.0);
        row("motorola64", m291 + " SG_ S : 7|64@0+ (1,0) [0|0] \"\" A\n", 291, false, "0000000000000700", "M.S", 1792);
        row("float32Scaled",
            m291 + " SG_ S : 8|32@1- (2,1) [0|0] \"\" A\nSIG_VALTYPE_ 291 S : 1;\n",
            291,
            false,
            "000000C03F000000",
            "M.S",
            4);
        row("doubleMotorola",
            m291 + " SG_ S : 7|64@0- (1,0) [0|0] \"\" A\nSIG_VALTYPE_ 291 S : 2;\n",
            291,
            false,
            "C00C000000000000",
            "M.S",
            -3.5);
        row("bit31Extended",
            "BO_ 2147484672 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" A\n",
            0x400,
            true,
            "07",
            "M.S",
            7);
        row("bit31NotStandard",
            "BO_ 2147484672 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" A\n",
            0x400,
            false,
            "07",
            "M.S",
            none);
        const QByteArray simple = m291
            + " SG_ Mux M : 0|8@1+ (1,0) [0|0] \"\" A\n SG_ A m1 : 8|8@1+ (1,0) [0|0] \"\" A\n"
              " SG_ B m2 : 8|16@1+ (1,0) [0|0] \"\" A\n";
        row("multiplexedSelected", simple, 291, false, "023412", "M.B", 0x1234);
        row("multiplexedOther", simple, 291, false, "023412", "M.A", none);
        const QByteArray extended = m291
            + " SG_ MuxA M : 0|8@1+ (1,0) [0|0] \"\" A\n SG_ MuxB m2M : 8|8@1+ (1,0) [0|0] \"\" A\n"
              " SG_ C m3 : 16|8@1+ (1,0) [0|0] \"\" A\n"
              "SG_MUL_VAL_ 291 MuxB MuxA 2-2;\nSG_MUL_VAL_ 291 C MuxB 3-5, 9-9;\n";
        row("extendedInRange", extended, 291, false, "02042A", "M.C", 42);
        row("extendedSecondRange", extended, 291, false, "02092A", "M.C", 42);
        row("extendedOutsideRange", extended, 291, false, "02062A", "M.C", none);
        row("extendedOuterOff", extended, 291, false, "01042A", "M.C", none);
        const QByteArray j1939 = "BO_ 2565800190 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" A\n"
                                 "BA_DEF_ \"ProtocolType\" STRING ;\nBA_ \"ProtocolType\" \"J1939\";\n";
        row("j1939OtherSenderAndDestination", j1939, 0x18EF1017, true, "05", "M.S", 5);
        row("j1939OtherGroup", j1939, 0x18EE1017, true, "05", "M.S", none);
        row("windows1252Unit",
            m291
                + " SG_ S : 0|8@1+ (1,-40) [0|0] \"\xB0"
                  "C\" A\n",
            291,
            false,
            "64",
            "M.S",
            60,
            "°C");
        row("utf8Unit",
            m291
                + " SG_ S : 0|8@1+ (1,-40) [0|0] \"\xC2\xB0"
                  "C\" A\n",
            291,
            false,
            "64",
            "M.S",
            60,
            "°C");
        row("label",
            m291 + " SG_ S : 0|8@1+ (1,0) [0|0] \"\" A\nVAL_ 291 S 2 \"Error\" 1 \"On\" 0 \"Off\" ;\n",
            291,
            false,
            "02",
            "M.S",
            2,
            "Error");
        row("longNames",
            m291
                + " SG_ S : 0|8@1+ (1,0) [0|0] \"\" A\n"
                  "BA_DEF_ BO_ \"SystemMessageLongSymbol\" STRING ;\nBA_DEF_ SG_ \"SystemSignalLongSymbol\" STRING ;\n"
                  "BA_ \"SystemMessageLongSymbol\" BO_ 291 \"EngineTemperaturesOfTheFirstCoolingCircuit\";\n"
                  "BA_ \"SystemSignalLongSymbol\" SG_ 291 S \"CoolantTemperatureAtTheRadiatorOutlet\";\n",
            291,
            false,
            "09",
            "EngineTemperaturesOfTheFirstCoolingCircuit.CoolantTemperatureAtTheRadiatorOutlet",
            9);
        row("overlappingAndSkippedSections",
            m291
                + " SG_ S : 0|16@1+ (1,0) [0|0] \"\" A\n SG_ T : 8|8@1+ (1,0) [0|0] \"\" A\n"
                  "EV_ E: 0 [0|1] \"\" 0 1 A;\nSGTYPE_ T : 8@1+ (1,0) [0|0] \"\" 0, A;\n",
            291,
            false,
            "0102",
            "M.T",
            2);
        row("canFd64Bytes",
            "BO_ 291 M: 64 A\n SG_ S : 500|12@1+ (1,0) [0|0] \"\" A\n",
            291,
            false,
            QByteArray(124, '0') + "F0AB",
            "M.S",
            0xABF);
        row("syntaxError",
            m291 + " SG_ S : 0|8@1+ (1,0 [0|0] \"\" A\n",
            291,
            false,
            "00",
            "M.S",
            none,
            "db.dbc:12:22: expected ')' after the offset, found '['");
    }

    void decode()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, detail);
        QFETCH(QString, signal);
        QFETCH(double, value);
        DbcDatabase database;
        QString error;
        const bool parsed = parseDbc(text, QStringLiteral("db.dbc"), database, error);
        if (detail.startsWith(QLatin1String("db.dbc:"))) {
            QVERIFY(!parsed);
            QVERIFY2(error.startsWith(detail), qPrintable(error));
            QVERIFY(database.messages.isEmpty());
            return;
        }
        QVERIFY2(parsed, qPrintable(error));
        QVector<SignalDefinition> definitions;
        QVERIFY2(appendDatabaseSignals(database, DatabaseChoices(), definitions, error), qPrintable(error));
        InterfaceNames interfaces;
        Monitor monitor(definitions, interfaces, RunSettings());
        QFETCH(uint, id);
        QFETCH(bool, extended);
        QFETCH(QByteArray, data);
        monitor.processFrame(frameOf(id, extended, data));
        const QVector<SignalSnapshot> snapshots = monitor.snapshot();
        const SignalSnapshot *s = find(snapshots, signal);
        if (std::isnan(value)) {
            QVERIFY(!s || s->decodedSamples == 0);
            return;
        }
        QVERIFY2(s, qPrintable(signal));
        QCOMPARE(s->decodedSamples, quint64(1));
        QCOMPARE(s->newest, value);
        if (!detail.isEmpty()) {
            QCOMPARE(s->labelSamples.isEmpty() ? s->unit : s->newestLabel, detail);
        }
    }

    // Engineers' databases as their tools wrote them: every one loads, and gives
    // signals without a name taken twice.
    void realDatabasesLoad()
    {
        const QDir directory(QStringLiteral(TALVENO_SHARED_DATA "/dbc"));
        const QStringList files = directory.entryList({QStringLiteral("*.dbc"), QStringLiteral("*.DBC")}, QDir::Files);
        if (files.isEmpty()) {
            QSKIP("the real databases are not there");
        }
        QCOMPARE(files.size(), 83);
        int signalCount = 0;
        for (const QString &file : files) {
            DbcDatabase database;
            QString error;
            QVERIFY2(readDbcFile(directory.filePath(file), database, error), qPrintable(error));
            QVector<SignalDefinition> definitions;
            QVERIFY2(appendDatabaseSignals(database, DatabaseChoices(), definitions, error), qPrintable(error));
            signalCount += definitions.size();
        }
        QVERIFY(signalCount > 1000);
    }
};

QTEST_GUILESS_MAIN(TestDbc)
#include "tst_dbc.moc"
