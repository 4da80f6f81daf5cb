#pragma once
// A rough picture of how a sound's spectrum moves in time, to tell sounds
// apart the way an ear would: third-octave band levels, 50 Hz to 10 kHz, in
// four stretches of the held note (0-0.1, 0.1-0.3, 0.3-0.6, 0.6-1 s), in dB
// below the sound's loudest band, floored at -60 dB. Loudness alone does not
// count: each print is relative to itself.
#include <vector>

struct SpectralPrint {
    std::vector<double> levels; // dB, stretch by stretch, band by band
    double centroidHz = 0;      // power-weighted mean frequency over the held note
};

SpectralPrint Print(const std::vector<double>& mono, unsigned rate);
// Root mean square of the band-level differences, in dB.
double SpectralDistance(const SpectralPrint& a, const SpectralPrint& b);
// Time until the level in 10 ms blocks first comes within 3 dB of its maximum.
double AttackSeconds(const std::vector<double>& mono, unsigned rate);
// RMS of the loudest stretch of the given length, stepping by 10 ms.
double LoudestRms(const std::vector<double>& mono, unsigned rate, double seconds);
