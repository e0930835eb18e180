// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DbcParser.h"
#include "DbcAttributes.h"
#include "DbcLexer.h"
#include "DbcMeaning.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace
{
using Kind = DbcToken::Kind;

// A number as a database writes it: a sign (also '+'), digits, a fraction, an exponent.
bool toDouble(const DbcToken &token, double &value)
{
    const char *first = token.text;
    const char *const last = token.text + token.size;
    if (first != last && *first == '+') {
        ++first;
    }
    const auto [end, fault] = std::from_chars(first, last, value);
    return fault == std::errc() && end == last && std::isfinite(value);
}

// A whole number; one written with a fraction of zero counts too.
bool toInteger(const DbcToken &token, qint64 &value)
{
    const char *first = token.text;
    const char *const last = token.text + token.size;
    if (first != last && *first == '+') {
        ++first;
    }
    const auto [end, fault] = std::from_chars(first, last, value);
    if (fault == std::errc() && end == last) {
        return true;
    }
    quint64 large = 0;
    const auto [largeEnd, largeFault] = std::from_chars(first, last, large);
    if (largeFault == std::errc() && largeEnd == last) {
        value = static_cast<qint64>(large);
        return true;
    }
    double real = 0.0;
    if (!toDouble(token, real) || real != std::floor(real) || std::fabs(real) >= 9.2e18) {
        return false;
    }
    value = static_cast<qint64>(real);
    return true;
}

bool isKeywordLike(const DbcToken &token)
{
    bool letter = false;
    for (int i = 0; i < token.size; ++i) {
        const char c = token.text[i];
        letter = letter || (c >= 'A' && c <= 'Z');
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) {
            return false;
        }
    }
    return letter;
}

// A statement whose message or signal comes later in the file, or never.
struct SignalReference
{
    quint32 id = 0;
    QByteArray signal;
    int line = 0;
};

struct PendingLabels : SignalReference
{
    QVector<ValueLabel> labels;
};

struct PendingValueType : SignalReference
{
    qint64 type = 0;
};

struct PendingRanges : SignalReference
{
    QByteArray multiplexer;
    QVector<MultiplexRange> ranges;
};

struct Skipped
{
    QByteArray keyword;
    int statements = 0;
    int firstLine = 0;
};

class Parser
{
public:
    Parser(const QByteArray &text, const QString &file)
        : lexer(text)
        , file(file)
    {
        database.file = file;
    }

    bool run(DbcDatabase &result, QString &message)
    {
        while (lexer.peek().kind != Kind::End) {
            if (!statement()) {
                message = error;
                return false;
            }
        }
        if (lexer.unterminatedString()) {
            fail(lexer.peek(), QString());
            message = error;
            return false;
        }
        finish();
        result = std::move(database);
        return true;
    }

private:
    using Handler = bool (Parser::*)();

    bool statement()
    {
        static const struct
        {
            const char *keyword;
            Handler handler;
        } handlers[] = {
            {"VERSION", &Parser::version},
            {"NS_", &Parser::newSymbols},
            {"BS_", &Parser::busSpeed},
            {"BU_", &Parser::nodes},
            {"BO_", &Parser::message},
            {"SG_", &Parser::signal},
            {"CM_", &Parser::comment},
            {"BA_DEF_", &Parser::attributeDefinition},
            {"BA_DEF_DEF_", &Parser::attributeDefault},
            {"BA_", &Parser::attributeValue},
            {"VAL_TABLE_", &Parser::valueTable},
            {"VAL_", &Parser::valueDescriptions},
            {"SIG_VALTYPE_", &Parser::signalValueType},
            {"SG_MUL_VAL_", &Parser::multiplexValues},
            {"BO_TX_BU_", &Parser::transmitters},
        };
        start = lexer.peek();
        for (const auto &known : handlers) {
            if (start.isWord(known.keyword)) {
                lexer.take();
                return (this->*known.handler)();
            }
        }
        if (start.kind != Kind::Word || !isKeywordLike(start)) {
            return fail(start, QStringLiteral("a keyword such as BO_, SG_ or BA_"));
        }
        return skipStatement();
    }

    // Names and lists whose end is the end of their line.
    void restOfLine()
    {
        while (lexer.peek().kind != Kind::End && !lexer.peek().firstOnLine) {
            lexer.take();
        }
    }

    bool version()
    {
        DbcToken text;
        return string(text, "the version in quotes");
    }

    // The keywords the file uses, which say nothing we need; they end where BS_,
    // BU_ or BO_ begins.
    bool newSymbols()
    {
        if (lexer.peek().isSymbol(':')) {
            lexer.take();
        }
        while (lexer.peek().kind == Kind::Word && !lexer.peek().isWord("BS_") && !lexer.peek().isWord("BU_")
               && !lexer.peek().isWord("BO_")) {
            lexer.take();
        }
        return true;
    }

    bool busSpeed()
    {
        if (!symbol(':', "':' after BS_")) {
            return false;
        }
        restOfLine();
        return true;
    }

    // Node names on the line, or on indented lines after it.
    bool nodes()
    {
        if (!symbol(':', "':' after BU_")) {
            return false;
        }
        for (;;) {
            const DbcToken &next = lexer.peek();
            const bool continued = next.firstOnLine && next.column > 1 && !isKeywordLike(next);
            if (next.kind != Kind::Word || (next.firstOnLine && !continued)) {
                return true;
            }
            lexer.take();
        }
    }

    bool message()
    {
        DbcMessage m;
        m.line = start.line;
        qint64 rawId = 0;
        qint64 length = 0;
        DbcToken name;
        if (!integer(rawId, "the message's identifier", 0, 0xFFFFFFFF) || !word(name, "the message's name")
            || !symbol(':', "':' after the message's name")
            || !integer(length, "the message's length in bytes", 0, 0xFFFF)) {
            return false;
        }
        if (lexer.peek().kind == Kind::Word && !lexer.peek().firstOnLine) {
            lexer.take();
        }
        m.name = name.toString();
        m.length = static_cast<int>(length);
        readIdentifier(static_cast<quint32>(rawId), m);
        rawIds.append(static_cast<quint32>(rawId));
        if (!messageByRawId.contains(static_cast<quint32>(rawId))) {
            messageByRawId.insert(static_cast<quint32>(rawId), database.messages.size());
        }
        database.messages.append(std::move(m));
        return true;
    }

    bool signal()
    {
        if (database.messages.isEmpty()) {
            return fail(start, QStringLiteral("BO_ before the first SG_"));
        }
        DbcSignal s;
        s.line = start.line;
        DbcToken name;
        if (!word(name, "the signal's name")) {
            return false;
        }
        s.symbol = name.bytes();
        s.name = name.toString();
        if (lexer.peek().kind == Kind::Word && !multiplexIndicator(s)) {
            return false;
        }
        qint64 startBit = 0;
        qint64 length = 0;
        DbcToken unit;
        if (!symbol(':', "':' or a multiplexer indicator (M, m0, m1M, ...)")
            || !integer(startBit, "the start bit", 0, 0xFFFF) || !symbol('|', "'|' after the start bit")
            || !integer(length, "the length in bits", 0, 0xFFFF) || !symbol('@', "'@' after the length")
            || !orderAndSign(s) || !symbol('(', "'(' before the factor") || !number(s.factor, "the factor")
            || !symbol(',', "',' after the factor") || !number(s.offset, "the offset")
            || !symbol(')', "')' after the offset") || !symbol('[', "'[' before the minimum")
            || !number(s.minimum, "the minimum") || !symbol('|', "'|' after the minimum")
            || !number(s.maximum, "the maximum") || !symbol(']', "']' after the maximum")
            || !string(unit, "the unit in quotes")) {
            return false;
        }
        restOfLine();
        s.startBit = static_cast<int>(startBit);
        s.length = static_cast<int>(length);
        s.unit = unit.toString();
        database.messages.last().signalList.append(std::move(s));
        return true;
    }

    // M, or mN, or mNM for a multiplexed multiplexer.
    bool multiplexIndicator(DbcSignal &s)
    {
        const DbcToken token = lexer.take();
        const char *const text = token.text;
        if (token.size == 1 && text[0] == 'M') {
            s.isMultiplexer = true;
            return true;
        }
        s.isMultiplexer = token.size > 2 && text[token.size - 1] == 'M';
        const char *const last = text + token.size - (s.isMultiplexer ? 1 : 0);
        const auto [end, fault] = std::from_chars(text + 1, last, s.multiplexValue);
        if (text[0] != 'm' || token.size < 2 || text[1] < '0' || text[1] > '9' || fault != std::errc() || end != last) {
            return fail(token, QStringLiteral("':' or a multiplexer indicator (M, m0, m1M, ...)"));
        }
        return true;
    }

    // "1+": Intel (1) or Motorola (0), unsigned (+) or signed (-).
    bool orderAndSign(DbcSignal &s)
    {
        const DbcToken token = lexer.peek();
        char code[2] = {};
        if (token.kind == Kind::Word && token.size <= 2) {
            lexer.take();
            code[0] = token.text[0];
            if (token.size == 2) {
                code[1] = token.text[1];
            } else if (lexer.peek().isWord("+") || lexer.peek().isWord("-")) {
                code[1] = lexer.take().text[0];
            }
        }
        if ((code[0] != '0' && code[0] != '1') || (code[1] != '+' && code[1] != '-')) {
            return fail(token, QStringLiteral("the byte order and sign: 1+, 1-, 0+ or 0-"));
        }
        s.byteOrder = code[0] == '1' ? ByteOrder::LittleEndian : ByteOrder::BigEndian;
        s.isSigned = code[1] == '-';
        return true;
    }

    bool comment()
    {
        DbcToken text;
        DbcToken name;
        qint64 id = 0;
        if (lexer.peek().isWord("BU_") || lexer.peek().isWord("EV_")) {
            lexer.take();
            if (!word(name, "the name that the comment is about")) {
                return false;
            }
        } else if (lexer.peek().isWord("BO_") || lexer.peek().isWord("SG_")) {
            const bool ofSignal = lexer.take().isWord("SG_");
            if (!integer(id, "the message's identifier", 0, 0xFFFFFFFF)
                || (ofSignal && !word(name, "the signal's name"))) {
                return false;
            }
        } else if (lexer.peek().kind != Kind::String) {
            return fail(lexer.peek(), QStringLiteral("the comment in quotes, or BU_, BO_, SG_ or EV_"));
        }
        return string(text, "the comment in quotes") && end();
    }

    bool attributeDefinition()
    {
        for (const char *scope : {"BU_", "BO_", "SG_", "EV_"}) {
            if (lexer.peek().isWord(scope)) {
                lexer.take();
                break;
            }
        }
        DbcToken name;
        DbcToken type;
        if (!string(name, "the attribute's name in quotes")
            || !word(type, "the attribute's type: INT, HEX, FLOAT, STRING or ENUM")) {
            return false;
        }
        QStringList labels;
        double bound = 0.0;
        if (type.isWord("ENUM")) {
            DbcToken label;
            do {
                if (!string(label, "a label of the ENUM in quotes")) {
                    return false;
                }
                labels.append(label.toString());
            } while (lexer.peek().isSymbol(',') && lexer.take().kind == Kind::Symbol);
        } else if (type.isWord("INT") || type.isWord("HEX") || type.isWord("FLOAT")) {
            if (!number(bound, "the attribute's minimum") || !number(bound, "the attribute's maximum")) {
                return false;
            }
        } else if (!type.isWord("STRING")) {
            return fail(type, QStringLiteral("the attribute's type: INT, HEX, FLOAT, STRING or ENUM"));
        }
        attributes.define(name.bytes(), labels);
        return end();
    }

    bool attributeDefault()
    {
        DbcToken name;
        DbcValue value;
        if (!string(name, "the attribute's name in quotes") || !attributeValue(value) || !end()) {
            return false;
        }
        attributes.setDefault(name.bytes(), value);
        return true;
    }

    bool attributeValue()
    {
        DbcToken name;
        DbcToken object;
        DbcValue value;
        qint64 id = 0;
        if (!string(name, "the attribute's name in quotes")) {
            return false;
        }
        if (lexer.peek().isWord("BU_") || lexer.peek().isWord("EV_")) {
            lexer.take();
            return word(object, "the name that the attribute is of") && attributeValue(value) && end();
        }
        if (lexer.peek().isWord("BO_")) {
            lexer.take();
            if (!integer(id, "the message's identifier", 0, 0xFFFFFFFF) || !attributeValue(value) || !end()) {
                return false;
            }
            attributes.setForMessage(static_cast<quint32>(id), name.bytes(), value);
            noteReference(static_cast<quint32>(id), QByteArray(), start.line);
            return true;
        }
        if (lexer.peek().isWord("SG_")) {
            lexer.take();
            if (!integer(id, "the message's identifier", 0, 0xFFFFFFFF) || !word(object, "the signal's name")
                || !attributeValue(value) || !end()) {
                return false;
            }
            attributes.setForSignal(static_cast<quint32>(id), object.bytes(), name.bytes(), value);
            noteReference(static_cast<quint32>(id), object.bytes(), start.line);
            return true;
        }
        if (!attributeValue(value) || !end()) {
            return false;
        }
        attributes.setForDatabase(name.bytes(), value);
        return true;
    }

    bool attributeValue(DbcValue &value)
    {
        const DbcToken token = lexer.peek();
        value.isText = token.kind == Kind::String;
        if (value.isText) {
            value.text = lexer.take().toString();
            return true;
        }
        return number(value.number, "the attribute's value");
    }

    bool valueTable()
    {
        DbcToken name;
        QVector<ValueLabel> labels;
        return word(name, "the value table's name") && valueLabels(labels);
    }

    // VAL_ of a signal, or of an environment variable, which has no frames.
    bool valueDescriptions()
    {
        qint64 id = 0;
        DbcToken name;
        PendingLabels pending;
        if (!toInteger(lexer.peek(), id)) {
            return word(name, "the message's identifier, or an environment variable's name")
                && valueLabels(pending.labels);
        }
        if (!integer(id, "the message's identifier", 0, 0xFFFFFFFF) || !word(name, "the signal's name")
            || !valueLabels(pending.labels)) {
            return false;
        }
        pending.id = static_cast<quint32>(id);
        pending.signal = name.bytes();
        pending.line = start.line;
        labels.append(std::move(pending));
        return true;
    }

    // Raw values and their descriptions, up to the ';'.
    bool valueLabels(QVector<ValueLabel> &result)
    {
        while (!lexer.peek().isSymbol(';')) {
            ValueLabel label;
            DbcToken text;
            if (!integer(label.raw,
                         "a raw value or ';'",
                         std::numeric_limits<qint64>::min(),
                         std::numeric_limits<qint64>::max())
                || !string(text, "the value's description in quotes")) {
                return false;
            }
            label.label = text.toString();
            result.append(label);
        }
        lexer.take();
        return true;
    }

    bool signalValueType()
    {
        qint64 id = 0;
        DbcToken name;
        PendingValueType pending;
        if (!integer(id, "the message's identifier", 0, 0xFFFFFFFF) || !word(name, "the signal's name")) {
            return false;
        }
        if (lexer.peek().isSymbol(':')) {
            lexer.take();
        }
        if (!integer(pending.type, "the value type: 0 integer, 1 float, 2 double", 0, 3) || !end()) {
            return false;
        }
        pending.id = static_cast<quint32>(id);
        pending.signal = name.bytes();
        pending.line = start.line;
        valueTypes.append(pending);
        return true;
    }

    bool multiplexValues()
    {
        qint64 id = 0;
        DbcToken name;
        DbcToken multiplexer;
        PendingRanges pending;
        if (!integer(id, "the message's identifier", 0, 0xFFFFFFFF) || !word(name, "the signal's name")
            || !word(multiplexer, "the multiplexer's name")) {
            return false;
        }
        do {
            const DbcToken range = lexer.peek();
            MultiplexRange values;
            if (!multiplexRange(range, values)) {
                return fail(range, QStringLiteral("a range of multiplexer values such as 0-3"));
            }
            lexer.take();
            pending.ranges.append(values);
        } while (lexer.peek().isSymbol(',') && lexer.take().kind == Kind::Symbol);
        if (!end()) {
            return false;
        }
        pending.id = static_cast<quint32>(id);
        pending.signal = name.bytes();
        pending.multiplexer = multiplexer.bytes();
        pending.line = start.line;
        ranges.append(std::move(pending));
        return true;
    }

    static bool multiplexRange(const DbcToken &token, MultiplexRange &range)
    {
        if (token.kind != Kind::Word) {
            return false;
        }
        const QByteArray text = token.bytes();
        const int dash = text.indexOf('-', 1);
        bool low = false;
        bool high = false;
        range.low = text.left(dash).toLongLong(&low);
        range.high = dash < 0 ? range.low : text.mid(dash + 1).toLongLong(&high);
        return low && (dash < 0 || high) && range.low <= range.high;
    }

    bool transmitters()
    {
        qint64 id = 0;
        if (!integer(id, "the message's identifier", 0, 0xFFFFFFFF) || !symbol(':', "':' after the identifier")) {
            return false;
        }
        while (lexer.peek().kind == Kind::Word || lexer.peek().isSymbol(',')) {
            lexer.take();
        }
        return end();
    }

    // A statement that says nothing about the signals of frames, up to its ';'.
    bool skipStatement()
    {
        const DbcToken keyword = lexer.take();
        for (DbcToken token = lexer.take(); !token.isSymbol(';'); token = lexer.take()) {
            if (token.kind == Kind::End) {
                return fail(
                    token,
                    QStringLiteral("';' to end the %1 statement of line %2").arg(keyword.toString()).arg(keyword.line));
            }
        }
        for (Skipped &known : skipped) {
            if (known.keyword == keyword.bytes()) {
                ++known.statements;
                return true;
            }
        }
        skipped.append(Skipped{keyword.bytes(), 1, keyword.line});
        return true;
    }

    bool end()
    {
        return symbol(';', "';'");
    }

    bool symbol(char wanted, const char *expected)
    {
        if (!lexer.peek().isSymbol(wanted)) {
            return fail(lexer.peek(), QString::fromUtf8(expected));
        }
        lexer.take();
        return true;
    }

    bool word(DbcToken &token, const char *expected)
    {
        if (lexer.peek().kind != Kind::Word) {
            return fail(lexer.peek(), QString::fromUtf8(expected));
        }
        token = lexer.take();
        return true;
    }

    bool string(DbcToken &token, const char *expected)
    {
        if (lexer.peek().kind != Kind::String) {
            return fail(lexer.peek(), QString::fromUtf8(expected));
        }
        token = lexer.take();
        return true;
    }

    bool integer(qint64 &value, const char *expected, qint64 low, qint64 high)
    {
        const DbcToken &token = lexer.peek();
        if (token.kind != Kind::Word || !toInteger(token, value) || value < low || value > high) {
            const QString range = low == std::numeric_limits<qint64>::min()
                ? QString()
                : QStringLiteral(" (a whole number from %1 to %2)").arg(low).arg(high);
            return fail(token, QString::fromUtf8(expected) + range);
        }
        lexer.take();
        return true;
    }

    bool number(double &value, const char *expected)
    {
        const DbcToken &token = lexer.peek();
        if (token.kind != Kind::Word || !toDouble(token, value)) {
            return fail(token, QString::fromUtf8(expected) + QStringLiteral(" (a number)"));
        }
        lexer.take();
        return true;
    }

    bool fail(const DbcToken &token, const QString &expected)
    {
        if (const DbcToken *open = token.kind == Kind::End ? lexer.unterminatedString() : nullptr) {
            error = QStringLiteral("%1:%2:%3: the string that starts here has no closing quote")
                        .arg(file)
                        .arg(open->line)
                        .arg(open->column - 1);
            return false;
        }
        error = QStringLiteral("%1:%2:%3: expected %4, found %5")
                    .arg(file)
                    .arg(token.line)
                    .arg(token.column)
                    .arg(expected, token.describe());
        return false;
    }

    void noteReference(quint32 id, const QByteArray &signal, int line)
    {
        references.append(SignalReference{id, signal, line});
    }

    // Bit 31 marks a 29-bit identifier; one above 0x7FF without it is 29-bit too.
    static void readIdentifier(quint32 rawId, DbcMessage &m)
    {
        m.extended = (rawId & 0x80000000u) != 0 || rawId > 0x7FFu;
        m.id = rawId & 0x7FFFFFFFu;
        if (m.id > 0x1FFFFFFFu) {
            m.problem = QStringLiteral("identifier 0x%1 is not one that a CAN frame carries")
                            .arg(QString::number(rawId, 16).toUpper());
        }
    }

    void finish();

    DbcLexer lexer;
    const QString file;
    QString error;
    DbcToken start;
    DbcDatabase database;
    DbcAttributes attributes;
    QVector<quint32> rawIds;
    QHash<quint32, int> messageByRawId;
    QVector<PendingLabels> labels;
    QVector<PendingValueType> valueTypes;
    QVector<PendingRanges> ranges;
    QVector<SignalReference> references;
    QVector<Skipped> skipped;
};

void Parser::finish()
{
    DbcMeaning meaning(database, attributes, rawIds, messageByRawId);
    for (const PendingLabels &pending : std::as_const(labels)) {
        if (DbcSignal *s = meaning.find(pending.id, pending.signal, pending.line)) {
            s->valueLabels = pending.labels;
        }
    }
    for (const PendingValueType &pending : std::as_const(valueTypes)) {
        if (DbcSignal *s = meaning.find(pending.id, pending.signal, pending.line)) {
            meaning.setValueType(*s, pending.type);
        }
    }
    for (const PendingRanges &pending : std::as_const(ranges)) {
        if (DbcSignal *s = meaning.find(pending.id, pending.signal, pending.line)) {
            meaning.setMultiplexer(pending.id, *s, pending.multiplexer, pending.ranges);
        }
    }
    for (const SignalReference &reference : std::as_const(references)) {
        meaning.find(reference.id, reference.signal, reference.line);
    }
    meaning.finish();
    for (const Skipped &keyword : std::as_const(skipped)) {
        database.warnings.append(QStringLiteral("%1: skipped %2 %3 statement%4 (the first on line %5): no "
                                                "signal of a frame is in them")
                                     .arg(file)
                                     .arg(keyword.statements)
                                     .arg(QString::fromLatin1(keyword.keyword))
                                     .arg(keyword.statements == 1 ? QString() : QStringLiteral("s"))
                                     .arg(keyword.firstLine));
    }
}
}

bool parseDbc(const QByteArray &text, const QString &file, DbcDatabase &database, QString &error)
{
    return Parser(text, file).run(database, error);
}

bool readDbcFile(const QString &path, DbcDatabase &database, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return parseDbc(file.readAll(), path, database, error);
}
