// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QString>
#include <QVector>

#include <array>

/// What became of the transport sessions of a run, by how each one ended.
struct TransportCounts
{
    quint64 sessions = 0;
    quint64 completed = 0;
    /// A data packet out of sequence: one missed, repeated, or outside the window.
    quint64 missingPacket = 0;
    quint64 timeout = 0;
    quint64 aborted = 0;
    /// A new announcement over a session still running.
    quint64 interrupted = 0;
};

/// The transport counts as reports name them, in their order.
struct TransportCount
{
    const char *key;
    /// How the table names the count among the dropped sessions; null for the
    /// sessions and those completed.
    const char *dropText;
    quint64 TransportCounts::*count;
};

inline constexpr TransportCount transportCounts[] = {
    {"sessions", nullptr, &TransportCounts::sessions},
    {"completed", nullptr, &TransportCounts::completed},
    {"missingPacket", "missing packet", &TransportCounts::missingPacket},
    {"timeout", "timeout", &TransportCounts::timeout},
    {"aborted", "aborted", &TransportCounts::aborted},
    {"interrupted", "interrupted", &TransportCounts::interrupted},
};

/// A warning lamp as an active-faults message shows it; the numbers are the
/// lamp's value in the metrics.
enum class LampState { Off = 0, On = 1, SlowFlash = 2, FastFlash = 3, NotAvailable = 4 };

/// The four lamps in the order the message carries them, under their report key,
/// their name in the table and their metric label.
struct LampName
{
    const char *key;
    const char *text;
    const char *label;
};

inline constexpr LampName lampNames[] = {
    {"malfunctionIndicator", "malfunction indicator", "malfunction_indicator"},
    {"redStop", "red stop", "red_stop"},
    {"amberWarning", "amber warning", "amber_warning"},
    {"protect", "protect", "protect"},
};

/// As reports write a lamp's state: "off", "on", "slow flash", "fast flash" or
/// "not available"; lampStateOf() reads it back (NotAvailable for any other text).
QString lampStateText(LampState state);
LampState lampStateOf(const QString &text);

/// The newest active-faults message of one sender on one interface.
struct FaultSender
{
    QString interfaceName;
    int sourceAddress = 0;
    std::array<LampState, 4> lamps{LampState::NotAvailable,
                                   LampState::NotAvailable,
                                   LampState::NotAvailable,
                                   LampState::NotAvailable};
    /// Seconds of the run's time of the sender's newest message.
    double lastSeen = 0.0;
    /// For a merged report: the last frame stamp (microseconds) of the run whose
    /// report gave the lamps.
    qint64 reportStamp = 0;
};

/// A diagnostic trouble code of one sender, as long as the run has seen it.
struct FaultCode
{
    QString interfaceName;
    int sourceAddress = 0;
    /// Suspect parameter number, 19 bits, and failure mode identifier, 5 bits.
    quint32 spn = 0;
    int fmi = 0;
    /// The newest occurrence count; 127 means not available.
    int occurrences = 127;
    /// Listed in the sender's newest message.
    bool active = false;
    /// Seconds of the run's time of the first and the newest message listing it.
    double firstSeen = 0.0;
    double lastSeen = 0.0;
    /// The code's conversion-method bit was set: it was sent by one of the older
    /// methods, and decoded by the current one all the same.
    bool olderConversionMethod = false;
    /// The name of the signal whose definition gives this SPN; empty when none does.
    QString spnName;
    /// For a merged report: the last frame stamp of the run that said whether it
    /// is active.
    qint64 reportStamp = 0;
};

/// How many requests one sender sent for one parameter group.
struct RequestCount
{
    QString interfaceName;
    int sourceAddress = 0;
    quint32 pgn = 0;
    quint64 count = 0;
};

/// What the J1939 diagnostics of a run came to: its transport sessions, the
/// senders of active faults with their lamps and codes, and the requests.
struct J1939Diagnostics
{
    TransportCounts transport;
    /// By interface and source address.
    QVector<FaultSender> senders;
    /// By interface, source address, SPN and FMI.
    QVector<FaultCode> faults;
    /// By interface, source address and parameter group.
    QVector<RequestCount> requests;
};
