// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SignalSelection.h"

SignalSelection::SignalSelection(const QStringList &texts)
{
    for (const QString &text : texts) {
        patterns.append(Pattern{text,
                                QRegularExpression(QRegularExpression::anchoredPattern(
                                    QRegularExpression::wildcardToRegularExpression(text))),
                                false});
    }
}

bool SignalSelection::selectsAll() const
{
    return patterns.isEmpty();
}

bool SignalSelection::selects(const QString &message, const QString &name) const
{
    if (patterns.isEmpty()) {
        return true;
    }
    const QString qualified = message.isEmpty() ? QString() : message + QLatin1Char('.') + name;
    bool selected = false;
    for (const Pattern &pattern : patterns) {
        if (pattern.expression.match(name).hasMatch()
            || (!qualified.isEmpty() && pattern.expression.match(qualified).hasMatch())) {
            pattern.matched = true;
            selected = true;
        }
    }
    return selected;
}

QStringList SignalSelection::unmatched() const
{
    QStringList result;
    for (const Pattern &pattern : patterns) {
        if (!pattern.matched) {
            result.append(pattern.text);
        }
    }
    return result;
}
