// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"

#include <QCanBusFrame>

/// The CAN frame of a bus frame on the given interface; false for error frames
/// and invalid frames, which carry no signal.
bool fromBusFrame(const QCanBusFrame &busFrame, quint16 interfaceIndex, CanFrame &frame);
/// The bus frame of a logged frame.
QCanBusFrame toBusFrame(const CanFrame &frame);
