// Writes the demo: a well-known public-domain tune, played by two soft
// plucked voices a little apart in the stereo field, as a 44.1 kHz 16-bit
// stereo wave file.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

void Put16(std::FILE* f, uint16_t v) {
  std::fputc(v & 0xFF, f);
  std::fputc(v >> 8, f);
}

void Put32(std::FILE* f, uint32_t v) {
  Put16(f, v & 0xFFFF);
  Put16(f, v >> 16);
}

double Frequency(int semitonesFromA4) {
  return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0);
}

// Adds a plucked note (a few harmonics under a quick decay) to one channel.
void Pluck(std::vector<double>& channel, double start, double seconds,
           double frequency, double gain) {
  const size_t first = static_cast<size_t>(start * kRate);
  const size_t count = static_cast<size_t>(seconds * kRate);
  for (size_t i = 0; i < count && first + i < channel.size(); ++i) {
    double t = static_cast<double>(i) / kRate;
    double envelope = std::exp(-3.0 * t) * std::min(1.0, t * 200.0);
    double tone = std::sin(2 * kPi * frequency * t) +
                  0.35 * std::sin(4 * kPi * frequency * t) +
                  0.12 * std::sin(6 * kPi * frequency * t);
    channel[first + i] += gain * envelope * tone;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_wav OUT.wav\n");
    return 2;
  }
  // The opening phrase of the "Ode to Joy" (E E F G G F E D C C D E E D D),
  // in semitones from A4, a beat each, the last two notes dotted and long.
  const int melody[] = {-5, -5, -4, -2, -2, -4, -5, -7, -9, -9, -7, -5, -5, -7, -7};
  const double beats[] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1.5, 0.5, 2};
  const int bass[] = {-21, -16, -24, -21};  // one note a bar, an octave below
  const double beat = 0.3;

  std::vector<double> left(static_cast<size_t>(kRate * 5.4)), right(left.size());
  double at = 0.1;
  for (size_t n = 0; n < sizeof melody / sizeof melody[0]; ++n) {
    Pluck(left, at, 1.2, Frequency(melody[n]), 0.30);
    Pluck(right, at, 1.2, Frequency(melody[n]), 0.22);
    at += beats[n] * beat;
  }
  for (int bar = 0; bar < 4; ++bar) {
    Pluck(left, 0.1 + bar * 4 * beat, 1.6, Frequency(bass[bar]), 0.14);
    Pluck(right, 0.1 + bar * 4 * beat, 1.6, Frequency(bass[bar]), 0.24);
  }

  std::FILE* f = std::fopen(argv[1], "wb");
  if (f == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const uint32_t dataBytes = static_cast<uint32_t>(left.size() * 4);
  std::fputs("RIFF", f);
  Put32(f, 36 + dataBytes);
  std::fputs("WAVEfmt ", f);
  Put32(f, 16);
  Put16(f, 1);  // PCM
  Put16(f, 2);
  Put32(f, kRate);
  Put32(f, kRate * 4);
  Put16(f, 4);
  Put16(f, 16);
  std::fputs("data", f);
  Put32(f, dataBytes);
  for (size_t i = 0; i < left.size(); ++i) {
    Put16(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(std::tanh(left[i]) * 32000))));
    Put16(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(std::tanh(right[i]) * 32000))));
  }
  return std::fclose(f) == 0 ? 0 : 1;
}
