// SPDX-License-Identifier: LGPL-2.1-or-later
// Feeds one J1939 signal with engine speed samples and prints its history and
// statistics, as a host that decodes the bus would.

#include <Talveno/Talveno.h>

#include <cstdio>

int main()
{
    GenericSignalImpl<J1939Value> engineSpeed;
    engineSpeed.setDatatype(static_cast<CAN::CANopenDataType>(0)); // scaled values as double
    engineSpeed.setValueHandling(GenericSignal::Append); // keep a history; also starts the worker

    // Engine speed travels as a raw count of 0.125 rpm. The last sample is a
    // spike that the rating should flag.
    constexpr double factor = 0.125;
    constexpr double offset = 0.0;
    const quint16 raws[] = {12000, 12040, 11968, 12016, 11992, 12056, 12008, 11976, 12024, 12000,
                            11984, 12032, 12012, 11996, 12048, 11960, 12020, 12004, 11988, 13600};
    for (const quint16 raw : raws) {
        J1939Value sample;
        sample.rawValue = QVariant::fromValue(raw);
        if (!engineSpeed.setNewValue(sample, factor, offset)) {
            std::fprintf(stderr, "sample %u refused\n", unsigned(raw));
            return 1;
        }
    }

    const J1939Value newest = engineSpeed.getValue();
    const double bandFactor = 2.0;
    std::printf("history count:      %d\n", engineSpeed.getValueCount());
    std::printf("newest value:       raw %u, scaled %.3f rpm\n",
                newest.rawValue.toUInt(),
                newest.scaledValue.toDouble());
    std::printf("average (cached):   %.3f rpm\n", engineSpeed.getAverage());
    std::printf("average (live):     %.3f rpm\n", engineSpeed.calcAverage());
    std::printf("deviation:          %.3f rpm\n", engineSpeed.calcDeviation());
    std::printf("minimum:            %.3f rpm\n", engineSpeed.getMin());
    std::printf("maximum:            %.3f rpm\n", engineSpeed.getMax());
    std::printf("median:             %.3f rpm\n", engineSpeed.calcMedian());
    std::printf("rating of newest:   %u (band: average -/+ %.1f deviations)\n",
                unsigned(engineSpeed.getRating(bandFactor, false, 0.0, 0.0)),
                bandFactor);
    std::printf("thresholds:         %.3f .. %.3f rpm\n",
                engineSpeed.getLowerThreshold(bandFactor),
                engineSpeed.getUpperThreshold(bandFactor));
    std::printf("samples outside:    %d\n", engineSpeed.getDeviators(bandFactor).size());
    return 0;
}
