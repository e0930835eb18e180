// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// One token of a CAN database text.
struct DbcToken
{
    enum class Kind {
        End, ///< the end of the text, or an unterminated string
        Word, ///< a keyword, name or number: a run of anything else
        String, ///< "text": what lies between the quotes, escapes still in
        Symbol, ///< one of : ; , | @ ( ) [ ]
    };

    Kind kind = Kind::End;
    const char *text = nullptr;
    int size = 0;
    /// From 1; the column counts bytes.
    int line = 1;
    int column = 1;
    /// Nothing but blanks before it on its line.
    bool firstOnLine = true;

    bool isSymbol(char symbol) const
    {
        return kind == Kind::Symbol && *text == symbol;
    }
    bool isWord(const char *word) const;
    QByteArray bytes() const
    {
        return QByteArray(text, size);
    }
    /// The text a person reads: a string unescaped (\" and \\) and decoded as
    /// UTF-8, or where that is not valid UTF-8 as Windows-1252.
    QString toString() const;
    /// For messages: "BO_", "\"text\"", "':'", "the end of the file".
    QString describe() const;
};

/**
 * Splits a database text into tokens, one ahead. Strings may span lines; a
 * string without its closing quote ends the text with unterminatedString set.
 * A // outside a string starts a comment that runs to the end of its line.
 */
class DbcLexer
{
public:
    explicit DbcLexer(const QByteArray &text);

    const DbcToken &peek() const
    {
        return current;
    }
    DbcToken take();

    /// Where an unterminated string starts; null when there is none.
    const DbcToken *unterminatedString() const
    {
        return unterminated.kind == DbcToken::Kind::String ? &unterminated : nullptr;
    }

private:
    void advance();

    const char *at;
    const char *const end;
    const char *lineStart;
    int line = 1;
    DbcToken current;
    DbcToken unterminated;
};
