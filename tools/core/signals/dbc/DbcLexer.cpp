// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DbcLexer.h"

#include <QTextCodec>

#include <algorithm>
#include <cstring>

namespace
{
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// What ends a word, looked up for every byte of the text.
struct Delimiters
{
    Delimiters()
    {
        for (const char c : {' ', '\t', '\r', '\n', '\f', '\v', '"'}) {
            ends[static_cast<unsigned char>(c)] = true;
        }
        for (const char *c = ":;,|@()[]"; *c != '\0'; ++c) {
            ends[static_cast<unsigned char>(*c)] = true;
            symbols[static_cast<unsigned char>(*c)] = true;
        }
    }

    bool ends[256] = {};
    bool symbols[256] = {};
};

const Delimiters delimiters;

bool isSymbol(char c)
{
    return delimiters.symbols[static_cast<unsigned char>(c)];
}

bool endsWord(char c)
{
    return delimiters.ends[static_cast<unsigned char>(c)];
}

QByteArray unescaped(const char *text, int size)
{
    QByteArray bytes;
    bytes.reserve(size);
    for (int i = 0; i < size; ++i) {
        if (text[i] == '\\' && i + 1 < size && (text[i + 1] == '"' || text[i + 1] == '\\')) {
            ++i;
        }
        bytes.append(text[i]);
    }
    return bytes;
}

QString decoded(const QByteArray &bytes)
{
    const bool ascii = std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return (c & 0x80) == 0; });
    if (ascii) {
        return QString::fromLatin1(bytes);
    }
    static QTextCodec *const utf8 = QTextCodec::codecForName("UTF-8");
    static QTextCodec *const windows1252 = QTextCodec::codecForName("windows-1252");
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
    const QString text = utf8->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0 ? text : windows1252->toUnicode(bytes);
}
}

bool DbcToken::isWord(const char *word) const
{
    return kind == Kind::Word && static_cast<std::size_t>(size) == std::strlen(word)
        && std::memcmp(text, word, static_cast<std::size_t>(size)) == 0;
}

QString DbcToken::toString() const
{
    const bool escaped = kind == Kind::String && std::memchr(text, '\\', static_cast<std::size_t>(size)) != nullptr;
    return decoded(escaped ? unescaped(text, size) : QByteArray::fromRawData(text, size));
}

QString DbcToken::describe() const
{
    switch (kind) {
    case Kind::End:
        return QStringLiteral("the end of the file");
    case Kind::Symbol:
        return QStringLiteral("'%1'").arg(QLatin1Char(*text));
    case Kind::String:
        return QStringLiteral("a string");
    case Kind::Word:
        break;
    }
    const QString word = toString();
    return QStringLiteral("\"%1\"").arg(word.size() > 40 ? word.left(40) + QChar(0x2026) : word);
}

DbcLexer::DbcLexer(const QByteArray &text)
    : at(text.constData())
    , end(text.constData() + text.size())
    , lineStart(text.constData())
{
    // A byte order mark, as some editors write before UTF-8 text.
    if (text.startsWith("\xEF\xBB\xBF")) {
        at += 3;
        lineStart = at;
    }
    advance();
}

DbcToken DbcLexer::take()
{
    const DbcToken token = current;
    if (token.kind != DbcToken::Kind::End) {
        advance();
    }
    return token;
}

void DbcLexer::advance()
{
    bool newLine = at == lineStart;
    for (;;) {
        while (at != end && isBlank(*at)) {
            if (*at == '\n') {
                ++line;
                lineStart = at + 1;
                newLine = true;
            }
            ++at;
        }
        // Some tools write // comments, to the end of the line, outside strings.
        if (end - at < 2 || at[0] != '/' || at[1] != '/') {
            break;
        }
        while (at != end && *at != '\n') {
            ++at;
        }
    }
    DbcToken token;
    token.line = line;
    token.column = static_cast<int>(at - lineStart) + 1;
    token.firstOnLine = newLine;
    if (at == end) {
        current = token;
        return;
    }
    if (*at == '"') {
        const char *const start = ++at;
        while (at != end && *at != '"') {
            if (*at == '\\' && at + 1 != end) {
                ++at;
            }
            if (*at == '\n') {
                ++line;
                lineStart = at + 1;
            }
            ++at;
        }
        token.kind = DbcToken::Kind::String;
        token.text = start;
        token.size = static_cast<int>(at - start);
        if (at == end) {
            unterminated = token;
            current = DbcToken();
            current.line = line;
            current.column = static_cast<int>(at - lineStart) + 1;
            return;
        }
        ++at;
    } else if (isSymbol(*at)) {
        token.kind = DbcToken::Kind::Symbol;
        token.text = at++;
        token.size = 1;
    } else {
        token.kind = DbcToken::Kind::Word;
        token.text = at;
        while (at != end && !endsWord(*at)) {
            ++at;
        }
        token.size = static_cast<int>(at - token.text);
    }
    current = token;
}
