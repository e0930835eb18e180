// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Talveno/LibTalveno.h"

LibTalveno::LibTalveno() = default;
