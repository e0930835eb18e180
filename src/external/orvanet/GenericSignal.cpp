// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Orvanet/GenericSignal.h"

#include <atomic>

namespace
{
std::atomic<unsigned int> maxValueCount{1000};
}

unsigned int GenericSignal::getMaxValueCount()
{
    return maxValueCount.load(std::memory_order_relaxed);
}

void GenericSignal::setMaxValueCount(unsigned int count)
{
    maxValueCount.store(count, std::memory_order_relaxed);
}
