// SPDX-License-Identifier: LGPL-2.1-or-later
// Everything a host needs: the sample records and their stream operators, the
// signal template and the marker class, with the declarations of the CAN base
// and statistics libraries.
#pragma once

#include <Orvanet/CANopenDataType.h>
#include <Orvanet/GenericSignal.h>
#include <Orvanet/GenericValue.h>
#include <Quillon/StatisticCalculator.h>

#include <Talveno/CANopenObjectValue.h>
#include <Talveno/CalculatorVariant.h>
#include <Talveno/GenericSignalImpl.h>
#include <Talveno/J1939Value.h>
#include <Talveno/LibTalveno.h>
#include <Talveno/ValueStreams.h>
