#include "dravik/audio/uPcmCodes.h"

#include <cmath>

namespace dravik {
namespace {

// Round to nearest, ties to even (the default rounding mode), with the range checked before
// the conversion to an integer so that out-of-range values never overflow.
bool RoundInRange(long double x, long lo, long hi, long& out) {
  if (!std::isfinite(x)) return false;
  const long double r = std::nearbyint(x);
  if (r < lo || r > hi) return false;
  out = static_cast<long>(r);
  return true;
}

} // namespace

bool ValueToPcm8(long double v, uint8_t& code) {
  long c = 0;
  if (!RoundInRange(127.5L * v + 127.5L, 0, 255, c)) return false;
  code = static_cast<uint8_t>(c);
  return true;
}

bool ValueToPcm16(long double v, int16_t& code) {
  long c = 0;
  if (!RoundInRange(32767.5L * v, -32768, 32767, c)) return false;
  code = static_cast<int16_t>(c);
  return true;
}

long double Pcm8ToValue(uint8_t code) { return (code - 127.5L) * (1.0L / 127.5L); }

long double Pcm16ToValue(int16_t code) { return code * (2.0L / 65535.0L); }

long double ReadPcm8(const uint8_t* sample) { return Pcm8ToValue(sample[0]); }

long double ReadPcm16(const uint8_t* sample) {
  const auto raw = static_cast<uint16_t>(sample[0] | (sample[1] << 8));
  return Pcm16ToValue(static_cast<int16_t>(raw));
}

bool WritePcm8(long double v, uint8_t* sample) { return ValueToPcm8(v, sample[0]); }

bool WritePcm16(long double v, uint8_t* sample) {
  int16_t code = 0;
  if (!ValueToPcm16(v, code)) return false;
  const auto raw = static_cast<uint16_t>(code);
  sample[0] = static_cast<uint8_t>(raw & 0xFF);
  sample[1] = static_cast<uint8_t>(raw >> 8);
  return true;
}

TSampleReader InputReader(unsigned bitsPerSample) {
  return bitsPerSample == 8 ? ReadPcm8 : ReadPcm16;
}

TSampleWriter OutputWriter(unsigned bitsPerSample) {
  return bitsPerSample == 16 ? WritePcm16 : WritePcm8;
}

} // namespace dravik
