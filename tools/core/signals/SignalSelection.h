// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVector>

/**
 * Which signals a run shows: shell-style patterns (* ? [...]) on a database
 * signal's MESSAGE.SIGNAL or on its name alone, and on the names of other
 * signals. Without patterns every signal is selected.
 */
class SignalSelection
{
public:
    explicit SignalSelection(const QStringList &patterns = QStringList());

    bool selectsAll() const;
    /// Whether a pattern matches the signal; message is empty for signals that
    /// no database defines. Remembers which patterns matched.
    bool selects(const QString &message, const QString &name) const;
    /// The patterns that have matched no signal so far.
    QStringList unmatched() const;

private:
    struct Pattern
    {
        QString text;
        QRegularExpression expression;
        mutable bool matched = false;
    };

    QVector<Pattern> patterns;
};
