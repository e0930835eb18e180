// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QByteArray>

/// The text of a J1939 database of 2,000 messages and 20,000 signals, each
/// message with a cycle time and some with value tables. Six messages carry one
/// signal each: the built-in parameters, at their places; the 1,994 others, of
/// parameter groups that no frame of the benchmark's log has, carry the rest.
QByteArray generatedDatabase();

constexpr int generatedMessages = 2000;
constexpr int generatedSignals = 20000;
