// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DefinitionFile.h"
#include "DataTypes.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace
{
// Reads the fields of one signal; each reader records the first fault only.
class FieldReader
{
public:
    explicit FieldReader(const QJsonObject &object)
        : object(object)
    {
    }

    QString error;

    bool has(const char *key) const
    {
        return object.contains(QLatin1String(key));
    }

    QString text(const char *key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isString()) {
            return value.toString();
        }
        if (!value.isUndefined()) {
            fail(key, QStringLiteral("a string"));
        }
        return QString();
    }

    qint64 integer(const char *key, qint64 fallback, qint64 low, qint64 high)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined()) {
            return fallback;
        }
        bool ok = false;
        qint64 result = 0;
        if (value.isDouble()) {
            const double d = value.toDouble();
            ok = d == std::floor(d) && d >= -9.0e15 && d <= 9.0e15;
            result = ok ? static_cast<qint64>(d) : 0;
        } else if (value.isString()) {
            // Decimal unless 0x: a leading zero is not octal, "010" is ten.
            const QString digits = value.toString().trimmed();
            result = digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? digits.mid(2).toLongLong(&ok, 16)
                                                                                 : digits.toLongLong(&ok, 10);
        }
        if (!ok || result < low || result > high) {
            fail(key,
                 QStringLiteral("an integer from %1 to %2 (a number, or a string in decimal or 0x hex)")
                     .arg(bound(low), bound(high)));
            return fallback;
        }
        return result;
    }

    double real(const char *key, double fallback)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined()) {
            return fallback;
        }
        if (!value.isDouble() || !std::isfinite(value.toDouble())) {
            fail(key, QStringLiteral("a finite number"));
            return fallback;
        }
        return value.toDouble();
    }

    bool flag(const char *key, bool fallback)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined()) {
            return fallback;
        }
        if (!value.isBool()) {
            fail(key, QStringLiteral("true or false"));
            return fallback;
        }
        return value.toBool();
    }

    // A name, or a number that validation checks against the names.
    CAN::CANopenDataType dataType()
    {
        const QJsonValue value = object.value(QLatin1String("dataType"));
        const QString text = value.toString().trimmed();
        if (!value.isString() || (!text.isEmpty() && text.front().isDigit())) {
            return static_cast<CAN::CANopenDataType>(integer("dataType", CAN::Real64, 0, 0x7FFFFFFF));
        }
        if (const DataType *named = DataType::find(text)) {
            return named->type;
        }
        fail("dataType", QStringLiteral("one of %1, or its number").arg(DataType::names()));
        return CAN::Real64;
    }

    SignalDefinition::ByteOrder byteOrder()
    {
        const QString order = text("byteOrder");
        if (order.isEmpty() || order == QLatin1String("little")) {
            return SignalDefinition::ByteOrder::LittleEndian;
        }
        if (order != QLatin1String("big")) {
            fail("byteOrder", QStringLiteral("\"little\" or \"big\""));
        }
        return SignalDefinition::ByteOrder::BigEndian;
    }

private:
    static QString bound(qint64 value)
    {
        return value > 0xFFFF ? QStringLiteral("0x%1").arg(QString::number(value, 16).toUpper())
                              : QString::number(value);
    }

    void fail(const char *key, const QString &expected)
    {
        if (error.isEmpty()) {
            error = QStringLiteral("\"%1\" must be %2").arg(QLatin1String(key), expected);
        }
    }

    QJsonObject object;
};

// Every key a definition may have.
const char *const knownKeys[] = {
    "name",
    "unit",
    "pgn",
    "sourceAddress",
    "id",
    "mask",
    "extended",
    "startBit",
    "length",
    "frameLength",
    "byteOrder",
    "signed",
    "factor",
    "offset",
    "dataType",
    "skipNotAvailable",
    "spn",
};

// A misspelt key would otherwise leave its field at the default unnoticed.
QString unknownKeyError(const QJsonObject &object)
{
    const QStringList keys = object.keys();
    for (const QString &key : keys) {
        QString likely;
        bool known = false;
        for (const char *knownKey : knownKeys) {
            known = known || key == QLatin1String(knownKey);
            if (key.compare(QLatin1String(knownKey), Qt::CaseInsensitive) == 0) {
                likely = QLatin1String(knownKey);
            }
        }
        if (!known) {
            return likely.isEmpty() ? QStringLiteral("unknown key \"%1\"").arg(key)
                                    : QStringLiteral("unknown key \"%1\" (\"%2\"?)").arg(key, likely);
        }
    }
    return QString();
}

// Without a place in the frame and a factor a signal would print plausible numbers
// made of defaults. J1939 signals are found by parameter group and sender, others by
// identifier and mask; a key of the other kind would be ignored.
QString requiredKeyError(const QJsonObject &object)
{
    const auto has = [&object](const char *key) {
        return object.contains(QLatin1String(key));
    };
    if (!has("name")) {
        return QStringLiteral("\"name\" is missing");
    }
    if (has("pgn") == has("id")) {
        return has("pgn")
            ? QStringLiteral("\"pgn\" and \"id\" exclude each other: a signal is J1939 or found by identifier")
            : QStringLiteral("needs \"pgn\" (J1939) or \"id\"");
    }
    for (const char *key : {"startBit", "length", "factor"}) {
        if (!has(key)) {
            return QStringLiteral("\"%1\" is missing").arg(QLatin1String(key));
        }
    }
    for (const char *key : {"mask", "extended"}) {
        if (has("pgn") && has(key)) {
            return QStringLiteral(
                       "\"%1\" goes with \"id\", not with \"pgn\": a J1939 signal is found by parameter group "
                       "and \"sourceAddress\"")
                .arg(QLatin1String(key));
        }
    }
    if (has("id") && has("spn")) {
        return QStringLiteral("\"spn\" goes with \"pgn\": only a J1939 parameter has a suspect parameter number");
    }
    if (has("id") && has("sourceAddress")) {
        return QStringLiteral(
            "\"sourceAddress\" goes with \"pgn\", not with \"id\": a signal by identifier is found with \"mask\"");
    }
    return QString();
}

// Leaves error empty when the signal can be used.
void readSignal(const QJsonObject &object, SignalDefinition &signal, QString &error)
{
    error = unknownKeyError(object);
    if (error.isEmpty()) {
        error = requiredKeyError(object);
    }
    if (!error.isEmpty()) {
        return;
    }
    FieldReader field(object);
    signal.name = field.text("name");
    signal.unit = field.text("unit");
    signal.j1939 = field.has("pgn");
    if (signal.j1939) {
        signal.pgn = static_cast<quint32>(field.integer("pgn", 0, 0, 0x3FFFF));
        signal.sourceAddress = static_cast<quint8>(field.integer("sourceAddress", 0, 0, 0xFF));
        signal.fixedSourceAddress = field.has("sourceAddress");
        signal.spn = static_cast<int>(field.integer("spn", -1, 0, 0x7FFFF));
        signal.extended = true;
    } else {
        signal.id = static_cast<quint32>(field.integer("id", 0, 0, 0x1FFFFFFF));
        signal.extended = field.flag("extended", signal.id > 0x7FF);
        signal.mask = static_cast<quint32>(field.integer("mask", signal.extended ? 0x1FFFFFFF : 0x7FF, 0, 0x1FFFFFFF));
    }
    signal.startBit = static_cast<int>(field.integer("startBit", 0, 0, maxJ1939GroupBytes * 8 - 1));
    signal.length = static_cast<int>(field.integer("length", 8, 1, 64));
    // Wider than the CAN FD lengths so that validation names the allowed ones.
    signal.frameLength = static_cast<int>(field.integer("frameLength", 8, 0, 0xFFFF));
    signal.byteOrder = field.byteOrder();
    signal.isSigned = field.flag("signed", false);
    signal.factor = field.real("factor", 1.0);
    signal.offset = field.real("offset", 0.0);
    signal.dataType = field.dataType();
    signal.skipNotAvailable = field.flag("skipNotAvailable", signal.j1939);
    error = field.error.isEmpty() ? validationError(signal) : field.error;
}

// Two signals of one name could not be told apart in a report, nor in a merge.
QString nameTakenError(const QVector<SignalDefinition> &definitions, int earlier, const QString &name)
{
    for (int i = 0; i < definitions.size(); ++i) {
        if (definitions.at(i).name != name) {
            continue;
        }
        return i < earlier ? QStringLiteral("a built-in signal has this name (--no-builtin leaves those out)")
                           : QStringLiteral("signal %1 has this name already").arg(i - earlier + 1);
    }
    return QString();
}
}

bool parseDefinitions(const QByteArray &json, QVector<SignalDefinition> &definitions, QString &error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull()) {
        error = QStringLiteral("not valid JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString());
        return false;
    }
    const QJsonValue list = document.object().value(QLatin1String("signals"));
    if (!list.isArray()) {
        error = QStringLiteral("expected an object with an array \"signals\"");
        return false;
    }
    const QJsonArray entries = list.toArray();
    const int earlier = definitions.size();
    for (int i = 0; i < entries.size(); ++i) {
        SignalDefinition signal;
        QString signalError;
        if (!entries.at(i).isObject()) {
            signalError = QStringLiteral("is not an object");
        } else {
            readSignal(entries.at(i).toObject(), signal, signalError);
        }
        if (signalError.isEmpty()) {
            signalError = nameTakenError(definitions, earlier, signal.name);
        }
        if (!signalError.isEmpty()) {
            const QString name = entries.at(i).toObject().value(QLatin1String("name")).toString();
            error = QStringLiteral("signal %1%2: %3")
                        .arg(i + 1)
                        .arg(name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name), signalError);
            return false;
        }
        definitions.append(signal);
    }
    return true;
}

bool readDefinitionFile(const QString &path, QVector<SignalDefinition> &definitions, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!parseDefinitions(file.readAll(), definitions, error)) {
        error = QStringLiteral("%1: %2").arg(path, error);
        return false;
    }
    return true;
}
