// SPDX-License-Identifier: LGPL-2.1-or-later
// The member bodies of the signal template, compiled once for the two records.

#include "Rating_impl.h"
#include "ScaledIntake_impl.h"
#include "SignalObject_impl.h"
#include "Statistics_impl.h"
#include "UpdateWorker_impl.h"

template class GenericSignalImpl<J1939Value>;
template class GenericSignalImpl<CANopenObjectValue>;
