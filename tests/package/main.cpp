// SPDX-License-Identifier: LGPL-2.1-or-later
// Uses both instantiations of the signal template through the umbrella header
// alone, so that a header or a symbol missing from the package fails here.

#include <Talveno/Talveno.h>

#include <cstdio>

int main()
{
    const LibTalveno marker;
    (void)marker;

    GenericSignalImpl<J1939Value> j1939;
    J1939Value engineSpeed;
    engineSpeed.rawValue = QVariant::fromValue(quint16(12000));
    bool stored = j1939.setNewValue(engineSpeed, 0.125, 0.0);

    GenericSignalImpl<CANopenObjectValue> canopen;
    canopen.setDatatype(CAN::Integer16);
    canopen.setValueHandling(GenericSignal::Append);
    for (int raw = -2; raw <= 2; ++raw) {
        CANopenObjectValue temperature;
        temperature.rawValue = raw;
        stored = canopen.setNewValue(temperature, 10.0, 20.0) && stored;
    }

    std::printf("engine speed %.3f; temperature average %.3f, median %.3f\n",
                j1939.getValue().scaledValue.toDouble(),
                canopen.calcAverage(),
                canopen.calcMedian());
    const bool expected = stored && j1939.getValue().scaledValue.toDouble() == 1500.0 && canopen.getValueCount() == 5
        && canopen.calcAverage() == 20.0;
    return expected ? 0 : 1;
}
