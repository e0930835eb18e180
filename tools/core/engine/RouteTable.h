// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

#include <utility>
#include <vector>

/**
 * What the frames of one identifier feed (a Route), looked up for every frame.
 * A flat table with open addressing: a log carries a few hundred identifiers,
 * and a lookup is one multiplication and, nearly always, one probe.
 *
 * Most identifiers of a real log feed nothing: they share one empty route, kept
 * beside the table, so that their frames read nothing but their slot.
 */
template<typename Route>
class RouteTable
{
public:
    /// The route of key, or null when key has none yet.
    const Route *find(quint64 key) const
    {
        for (std::size_t at = slotOf(key);; at = (at + 1) & mask) {
            const Slot &slot = cells[at];
            if (slot.route == freeSlot) {
                return nullptr;
            }
            if (slot.key == key) {
                return slot.route == emptyRoute ? &empty : &routes[static_cast<std::size_t>(slot.route)];
            }
        }
    }

    /// Whether route is the one that insertEmpty() gives.
    bool isEmpty(const Route &route) const
    {
        return &route == &empty;
    }

    /// The route as stored; the reference holds until the next insert.
    const Route &insert(quint64 key, Route route)
    {
        // At most half full, so that probes stay short.
        if ((routes.size() + emptyKeys + 1) * 2 > cells.size()) {
            grow();
        }
        routes.push_back(std::move(route));
        place(key, static_cast<int>(routes.size()) - 1);
        return routes.back();
    }

    /// Notes that key has a default-made Route, and gives that.
    const Route &insertEmpty(quint64 key)
    {
        ++emptyKeys;
        if ((routes.size() + emptyKeys) * 2 > cells.size()) {
            grow();
        }
        place(key, emptyRoute);
        return empty;
    }

private:
    static constexpr int freeSlot = -1;
    static constexpr int emptyRoute = -2;

    struct Slot
    {
        quint64 key = 0;
        /// An index into routes, or one of the two above.
        int route = freeSlot;
    };

    std::size_t slotOf(quint64 key) const
    {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;
    }

    void place(quint64 key, int route)
    {
        std::size_t at = slotOf(key);
        while (cells[at].route != freeSlot) {
            at = (at + 1) & mask;
        }
        cells[at] = Slot{key, route};
    }

    void grow()
    {
        const std::vector<Slot> old = std::move(cells);
        cells.assign(old.size() * 2, Slot());
        mask = cells.size() - 1;
        for (const Slot &slot : old) {
            if (slot.route != freeSlot) {
                place(slot.key, slot.route);
            }
        }
    }

    /// Never empty, so that a lookup needs no check for it; a power of two.
    std::vector<Slot> cells = std::vector<Slot>(64);
    std::size_t mask = 63;
    std::vector<Route> routes;
    const Route empty{};
    std::size_t emptyKeys = 0;
};
