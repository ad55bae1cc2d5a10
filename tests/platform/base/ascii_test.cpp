#include "platform/base/ascii.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmer {
namespace {

// Every length and every position of the first stopping unit, across the
// several-at-a-time blocks and the tail.
TEST(AsciiRuns, StopAtTheFirstUnitOrByteOutside) {
  for (std::size_t n = 0; n < 40; ++n) {
    for (std::size_t at = 0; at <= n; ++at) {
      std::u16string units(n, u'a');
      std::string bytes(n, 'a');
      for (char16_t odd : {u'\x80', u'\xFF', u'中', u'\x1F'}) {
        if (at < n) units[at] = odd;
        std::size_t want = at < n ? at : n;
        EXPECT_EQ(AsciiUnits(units.data(), n, u'\x1F'), want) << n << ' ' << at;
        EXPECT_EQ(FindUnit(units.data(), n, odd), want) << n << ' ' << at;
        if (odd == u'\x1F') {
          EXPECT_EQ(AsciiUnits(units.data(), n, 0x80), n);
        }
      }
      if (at < n) bytes[at] = '\x80';
      EXPECT_EQ(AsciiBytes(reinterpret_cast<const unsigned char*>(bytes.data()), n), at);
    }
  }
}

TEST(AsciiRuns, FindAndCountOneByte) {
  for (std::size_t n = 0; n < 40; ++n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += i % 3 == 0 || i == 17 ? '\n' : 'x';
    std::vector<std::size_t> want, got;
    for (std::size_t i = 0; i < n; ++i)
      if (text[i] == '\n') want.push_back(i);
    ForEachByte(text, '\n', [&](std::size_t i) { got.push_back(i); });
    EXPECT_EQ(got, want) << n;
    EXPECT_EQ(CountByte(text, '\n'), want.size()) << n;
  }
}

TEST(AsciiRuns, PlainBytesStopAtHighBytesAndTheGivenOnes) {
  const unsigned char stop[] = {'I', 'n'};
  for (std::size_t n = 0; n < 40; ++n) {
    for (std::size_t at = 0; at <= n; ++at) {
      for (int odd : {0x81, 0xFF, int{'I'}, int{'n'}}) {
        std::string text(n, 'a');
        if (n > 3) text[n / 3] = '\x80';  // 0x80 is a plain byte
        if (at < n) text[at] = static_cast<char>(odd);
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        EXPECT_EQ(PlainBytes(p, n, stop, 2), at) << n << ' ' << at << ' ' << odd;
        if (odd >= 0x81) {
          EXPECT_EQ(PlainBytes(p, n, stop, 0), at);
        }
      }
    }
  }
}

// The scanners made once for many runs: up to eight stops, each in every
// position of runs long and short, units and bytes alike.
TEST(AsciiRuns, ScannersStopAtHighCodesAndEachOfEightStops) {
  const char16_t stopUnits[] = {'I', 'N', 'P', 'S', 'n', '\x1F', '\'', '~'};
  unsigned char stopBytes[std::size(stopUnits)];
  for (std::size_t k = 0; k < std::size(stopUnits); ++k)
    stopBytes[k] = static_cast<unsigned char>(stopUnits[k]);
  for (std::size_t count : {std::size_t{0}, std::size_t{5}, std::size_t{8}}) {
    const PlainUnitScanner units(stopUnits, count);
    const PlainByteScanner bytes(stopBytes, count);
    for (std::size_t n = 0; n < 40; ++n)
      for (std::size_t at = 0; at <= n; ++at)
        for (char16_t odd : {char16_t{0x80}, char16_t{0x4E2D}, char16_t{'n'}, char16_t{'~'}}) {
          std::u16string u(n, u'a');
          if (at < n) u[at] = odd;
          std::string b(n, 'a');
          if (at < n) b[at] = static_cast<char>(odd == 0x4E2D ? 0xE4 : odd);
          const bool stops = odd >= 0x80 || (count >= 5 && odd == 'n') || (count == 8 && odd == '~');
          const std::size_t want = at < n && stops ? at : n;
          EXPECT_EQ(units.Run(u.data(), n), want) << count << ' ' << n << ' ' << at << ' ' << int(odd);
          EXPECT_EQ(bytes.Run(reinterpret_cast<const unsigned char*>(b.data()), n), want)
              << count << ' ' << n << ' ' << at << ' ' << int(odd);
        }
  }
}

TEST(AsciiRuns, CopyBothWays) {
  std::string bytes;
  for (int i = 0; i < 37; ++i) bytes += static_cast<char>(i * 3 % 128);
  std::u16string units(bytes.size(), u'\0');
  WidenBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), units.data());
  for (std::size_t i = 0; i < bytes.size(); ++i) EXPECT_EQ(units[i], bytes[i]);
  std::string back(units.size(), '\0');
  NarrowUnits(units.data(), units.size(), back.data());
  EXPECT_EQ(back, bytes);
}

}  // namespace
}  // namespace quillmer
