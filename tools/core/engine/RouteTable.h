// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <utility>
#include <vector>

/**
 * What the frames of one identifier feed (a Route), looked up for every frame.
 * A flat table with open addressing: a log carries a few hundred identifiers,
 * and a lookup is one multiplication and, nearly always, one probe.
 */
template<typename Route>
class RouteTable
{
public:
    /// The route of key, or null when key has none yet.
    const Route *find(quint64 key) const
    {
        if (cells.empty()) {
            return nullptr;
        }
        for (std::size_t at = slotOf(key);; at = (at + 1) & (cells.size() - 1)) {
            const Slot &slot = cells[at];
            if (slot.route < 0) {
                return nullptr;
            }
            if (slot.key == key) {
                return &routes[static_cast<std::size_t>(slot.route)];
            }
        }
    }

    /// The route as stored; the reference holds until the next insert.
    const Route &insert(quint64 key, Route route)
    {
        // At most half full, so that probes stay short.
        if ((routes.size() + 1) * 2 > cells.size()) {
            grow();
        }
        routes.push_back(std::move(route));
        place(key, static_cast<int>(routes.size()) - 1);
        return routes.back();
    }

private:
    struct Slot
    {
        quint64 key = 0;
        int route = -1;
    };

    std::size_t slotOf(quint64 key) const
    {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (cells.size() - 1);
    }

    void place(quint64 key, int route)
    {
        std::size_t at = slotOf(key);
        while (cells[at].route >= 0) {
            at = (at + 1) & (cells.size() - 1);
        }
        cells[at] = Slot{key, route};
    }

    void grow()
    {
        const std::vector<Slot> old = std::move(cells);
        cells.assign(std::max<std::size_t>(64, old.size() * 2), Slot());
        for (const Slot &slot : old) {
            if (slot.route >= 0) {
                place(slot.key, slot.route);
            }
        }
    }

    std::vector<Slot> cells;
    std::vector<Route> routes;
};
