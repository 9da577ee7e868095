#include "ui/services/toneplayer.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace fotolista {

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 1.115;

/// One tone as 16-bit mono samples, faded in and out over 5 ms so it does not click.
std::vector<qint16> tone(double hertz)
{
    const int count = int(kRate * kSeconds);
    const int fade = kRate / 200;
    std::vector<qint16> samples(size_t(count), 0);
    for (int i = 0; i < count; ++i) {
        double envelope = 1.0;
        if (i < fade)
            envelope = double(i) / fade;
        else if (i > count - fade)
            envelope = double(count - i) / fade;
        samples[size_t(i)] = qint16(0.35 * 32767.0 * envelope * std::sin(2.0 * std::numbers::pi * hertz * i / kRate));
    }
    return samples;
}

}  // namespace

void TonePlayer::play()
{
    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = kRate;
    format.channels = 1;
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "Fotolista", PA_STREAM_PLAYBACK, nullptr, "Proceso terminado", &format,
                                      nullptr, nullptr, &error);
    if (!stream) {
        emit beepRequested();
        return;
    }
    for (const double hertz : {1256.0, 2256.0, 1256.0}) {
        const std::vector<qint16> samples = tone(hertz);
        if (pa_simple_write(stream, samples.data(), samples.size() * sizeof(qint16), &error) < 0)
            break;
    }
    pa_simple_drain(stream, &error);
    pa_simple_free(stream);
}

}  // namespace fotolista
