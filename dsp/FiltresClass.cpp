#include "dsp/FiltresClass.h"

void TLp1::SetCutoff(float cutoff, float sampleRate) {
    K = float(2.0 * Wide(sampleRate));
    W = float(6.2831853071795 * Wide(cutoff));
    Norm = float(1.0 / (Wide(K) + Wide(W)));
    A1 = float((Wide(K) - Wide(W)) * Wide(Norm));
    B = float(Wide(W) * Wide(Norm));
    LastCutoff = cutoff;
    WideB = B;
    WideA1 = A1;
}

void THp1::SetCutoff(float cutoff, float sampleRate) {
    K = float(2.0 * Wide(sampleRate));
    W = float(6.2831853071795 * Wide(cutoff));
    Norm = float(1.0 / (Wide(K) + Wide(W)));
    B0 = float(Wide(K) * Wide(Norm));
    B1 = -B0;
    A1 = float((Wide(K) - Wide(W)) * Wide(Norm));
    LastCutoff = cutoff;
    WideB0 = B0;
    WideB1 = B1;
    WideA1 = A1;
}
