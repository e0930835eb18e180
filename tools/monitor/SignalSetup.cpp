// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SignalSetup.h"
#include "BuiltinSignals.h"
#include "Messages.h"
#include "SignalSelection.h"
#include "dbc/DbcListing.h"
#include "dbc/DbcParser.h"
#include "dbc/DbcSignals.h"
#include "json/DefinitionFile.h"

#include <algorithm>

namespace
{
// A database written carelessly may warn about every signal: the first few say
// what is wrong.
constexpr int shownWarnings = 10;

// Each database is read whole before any is used: one that cannot be read, or
// has a syntax error, stops the run.
bool readDatabases(const MonitorOptions &options, QVector<DbcDatabase> &databases)
{
    for (const QString &file : options.databaseFiles) {
        DbcDatabase database;
        QString error;
        if (!readDbcFile(file, database, error)) {
            complain(error);
            return false;
        }
        for (int i = 0; i < std::min<int>(database.warnings.size(), shownWarnings); ++i) {
            complain(QStringLiteral("warning: ") + database.warnings.at(i));
        }
        if (database.warnings.size() > shownWarnings) {
            complain(QStringLiteral("warning: %1: %2 more warnings")
                         .arg(file)
                         .arg(database.warnings.size() - shownWarnings));
        }
        databases.append(database);
    }
    return true;
}

// A pattern that selects nothing is most likely mistyped.
bool everyPatternSelects(const SignalSelection &selection)
{
    const QStringList unmatched = selection.unmatched();
    if (!unmatched.isEmpty()) {
        complain(QStringLiteral("--signals %1: no signal has such a name").arg(unmatched.join(QLatin1String(", "))));
    }
    return unmatched.isEmpty();
}
}

bool loadSignals(const MonitorOptions &options, QVector<SignalDefinition> &definitions)
{
    if (options.builtins) {
        definitions = builtinSignals(options.sourceAddress);
    }
    QString error;
    if (!options.definitionFile.isEmpty() && !readDefinitionFile(options.definitionFile, definitions, error)) {
        complain(error);
        return false;
    }
    const SignalSelection selection(options.signalPatterns);
    definitions.erase(std::remove_if(definitions.begin(),
                                     definitions.end(),
                                     [&selection](const SignalDefinition &definition) {
                                         return !selection.selects(QString(), definition.name);
                                     }),
                      definitions.end());
    for (SignalDefinition &definition : definitions) {
        definition.anySourceAddress = options.everySourceAddress && definition.j1939 && !definition.fixedSourceAddress;
    }
    QVector<DbcDatabase> databases;
    if (!readDatabases(options, databases)) {
        return false;
    }
    DatabaseChoices choices;
    choices.selection = &selection;
    choices.sourceAddress = options.sourceAddressGiven && !options.everySourceAddress ? options.sourceAddress : -1;
    choices.databaseLimits = options.run.databaseLimits;
    choices.timing = options.timing;
    choices.timingTolerance = options.timingTolerance;
    for (const DbcDatabase &database : std::as_const(databases)) {
        if (!appendDatabaseSignals(database, choices, definitions, error)) {
            complain(error);
            return false;
        }
    }
    return everyPatternSelects(selection);
}

bool listDatabaseSignals(const MonitorOptions &options, QTextStream &out)
{
    QVector<DbcDatabase> databases;
    if (!readDatabases(options, databases)) {
        return false;
    }
    const SignalSelection selection(options.signalPatterns);
    out << databaseListing(databases, selection);
    return everyPatternSelects(selection);
}
