// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Talveno/Talveno.h>

#include <atomic>
#include <thread>

// Feeds the scaled intake on another thread until destroyed, so that readers are
// measured against a live writer.
class Writer
{
public:
    explicit Writer(GenericSignalImpl<J1939Value> &signal)
        : thread([&signal, this] {
            J1939Value sample;
            double raw = 0.0;
            while (!stop.load(std::memory_order_relaxed)) {
                sample.rawValue = raw;
                raw = raw < 1000.0 ? raw + 1.0 : 0.0;
                signal.setNewValue(sample, 0.5, 1.0);
            }
        })
    {
    }
    ~Writer()
    {
        stop.store(true);
        thread.join();
    }

private:
    std::atomic<bool> stop{false};
    std::thread thread;
};
