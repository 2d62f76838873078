// The 408-byte settings record: every default at its offset, zero padding, and a byte-exact
// round trip of a fully populated image.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>

#include "device/settingsrecord.h"

using namespace tolv;

namespace {

using Image = std::array<std::uint8_t, SettingsRecord::kSize>;

void f64(Image& b, std::size_t at, double v) {
  const auto u = std::bit_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i) b[at + std::size_t(i)] = std::uint8_t(u >> (8 * i));
}
void i32(Image& b, std::size_t at, std::int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = std::uint8_t(std::uint32_t(v) >> (8 * i));
}

}  // namespace

TEST(SettingsRecordImage, DefaultsSitAtTheirOffsetsAndEverythingElseIsZero) {
  Image want{};
  want[0] = '0';  // "OSA0" little-endian: reversed characters
  want[1] = 'A';
  want[2] = 'S';
  want[3] = 'O';
  f64(want, 8, 5.0);
  f64(want, 16, 5.0);
  f64(want, 40, 0.0001);
  f64(want, 48, 10000.0);
  f64(want, 56, 10.0);
  want[68] = 1;
  want[69] = 'T';
  f64(want, 328, 0.1);
  f64(want, 336, -0.1);
  want[353] = 1;  // Overlapping
  want[354] = 3;  // ScopePlotMode K0 + K1
  i32(want, 360, 1234);
  i32(want, 364, 567);
  i32(want, 368, -8);
  i32(want, 372, 90);
  f64(want, 376, 1.0);
  f64(want, 384, 1.0);
  want[392] = 1;  // 0.85 divider
  want[393] = 1;  // synchronised Y axes
  i32(want, 396, 100);
  i32(want, 400, 100);
  want[404] = 1;  // intermediate files
  const Image got = SettingsRecord::defaults(1234, 567, -8, 90).toBytes();
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << "offset " << i;
}

TEST(SettingsRecordImage, PopulatedImageRoundTripsByteForByte) {
  Image b{};
  b[0] = 'I';  // "DLDI"
  b[1] = 'D';
  b[2] = 'L';
  b[3] = 'D';
  const double reals[] = {0.2, 20, -1.5, 2.25, 1e-6, 131000, 99.5};
  for (std::size_t k = 0; k < 7; ++k) f64(b, 8 + 8 * k, reals[k]);
  b[64] = 1;
  b[65] = 0xA5;
  b[66] = 0x5A;
  b[67] = 0xFF;
  b[68] = 255;  // the longest trigger text
  for (std::size_t i = 0; i < 255; ++i) b[69 + i] = std::uint8_t('A' + i % 26);
  f64(b, 328, 1.75);
  f64(b, 336, -1.75);
  i32(b, 344, std::int32_t(0xFFFFFFFFu));
  i32(b, 348, 0x00ABCDEF);
  b[352] = 1;
  b[353] = 0;
  b[354] = 5;
  b[355] = 1;
  b[356] = 1;
  b[357] = 2;
  i32(b, 360, 1600);
  i32(b, 364, 1000);
  i32(b, 368, -1600);
  i32(b, 372, 2000);
  f64(b, 376, -100);
  f64(b, 384, 100);
  b[392] = 0;
  b[393] = 1;
  i32(b, 396, 67);
  i32(b, 400, 333);
  b[404] = 1;
  const SettingsRecord r = SettingsRecord::decode(b.data());
  EXPECT_EQ(r.mode, kModeDLDI);
  EXPECT_EQ(r.trgTypString.size(), 255u);
  EXPECT_EQ(r.toBytes(), b);
}
