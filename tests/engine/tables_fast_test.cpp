// The phrase table's own bookkeeping: lines found in place, replacements
// found before and after they are all noted, the lookup by two characters
// and its filter, against a plain reading of the same lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/tables.h"
#include "engine/types.h"

namespace quillmer {
namespace {

std::vector<std::string> RandomLines(std::mt19937& rng, std::size_t n) {
  std::vector<std::string> lines(n);
  for (auto& l : lines)
    for (std::size_t k = rng() % 12; k > 0; --k) l += static_cast<char>('a' + rng() % 26);
  return lines;
}

std::string Join(const std::vector<std::string>& lines, const char* end) {
  std::string text;
  for (const auto& l : lines) text += l + end;
  return text;
}

TEST(FixTableLines, EveryLineReadsBackHoweverTheListsCame) {
  std::mt19937 rng(6);
  const auto keys = RandomLines(rng, 3000), repls = RandomLines(rng, 2990);
  for (const char* end : {"\n", "\r\n", "\r"}) {
    for (bool inPlace : {false, true}) {
      const std::string k = Join(keys, end), r = Join(repls, end);
      FixTable t;
      if (inPlace)
        t.SetListsInPlace(k, r);
      else
        t.SetLists(k, r);
      ASSERT_EQ(t.Count(), repls.size());  // the shorter list rules
      // Scattered lookups: the first ones before the replacement lines are
      // noted, the later ones after.
      for (int round = 0; round < 300; ++round) {
        std::size_t i = round == 0 ? 0 : round == 1 ? t.Count() - 1 : rng() % t.Count();
        ASSERT_EQ(t.Replacement(i), repls[i]) << end << ' ' << inPlace << ' ' << i;
        ASSERT_EQ(t.Key(i), keys[i]);
      }
    }
  }
}

TEST(FixTableLines, ALastLineWithoutItsEndCountsAndAddKeepsThePairs) {
  FixTable t;
  t.SetListsInPlace("ab\ncd", "x\ny\nz\n");
  ASSERT_EQ(t.Count(), 2u);
  EXPECT_EQ(t.Key(1), "cd");
  EXPECT_EQ(t.Replacement(1), "y");
  t.Add("ef", "w");  // the unmatched "z" gives way
  ASSERT_EQ(t.Count(), 3u);
  EXPECT_EQ(t.Key(2), "ef");
  EXPECT_EQ(t.Replacement(2), "w");
  EXPECT_EQ(t.Replacement(0), "x");
}

// Match against the plain scan of a slot's range, in slots big enough for the
// two-character lookup and long enough a run for the filter to come in.
TEST(FixTableLookup, SameAsScanningTheSlot) {
  std::mt19937 rng(7);
  const std::string chars[] = {"\xA4\xA4", "\xA4\xE5", "\xB0\xEA", "a", "b", "\xA4"};
  std::vector<std::string> keys;
  // Keys without a whole second character only under B0EA: text under A4
  // meets the filter.
  for (int i = 0; i < 400; ++i) {
    std::string k = chars[rng() % 3];
    const std::size_t n = k[0] == '\xB0' ? rng() % 4 : 1 + rng() % 3;
    for (std::size_t j = 0; j < n; ++j) k += chars[rng() % (j == 0 ? 5 : std::size(chars))];
    keys.push_back(k);
  }
  std::sort(keys.begin(), keys.end(), std::greater<>());
  // One table built key by key, one from the texts, read where they lie.
  FixTable added, read;
  for (const auto& k : keys) added.Add(k, "r");
  std::string keyText, replText;
  for (const auto& k : keys) keyText += k + "\n", replText += "r\n";
  read.SetLists(keyText, replText);
  auto slotOf = [](const unsigned char* p) { return FixSlotOfCode(p[0] << 8 | p[1]); };
  for (FixTable* t : {&added, &read}) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
      auto& s = t->Index()[slotOf(reinterpret_cast<const unsigned char*>(keys[i].data()))];
      if (s.first < 0) s.first = static_cast<std::int32_t>(i);
      s.last = static_cast<std::int32_t>(i);
    }
    t->Prepare();
  }
  const FixTable& t = added;
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    for (std::size_t n = 1 + rng() % 5; n > 0; --n) text += chars[rng() % 3 + rng() % 2 * 3];
    if (!IsLeadByte(static_cast<unsigned char>(text[0])) || text.size() < 2) continue;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const FixSlot& s = t.Index()[slotOf(p)];
    std::int32_t want = -1;
    for (std::int32_t i = s.first; s.first >= 0 && i <= s.last && want < 0; ++i)
      if (text.compare(0, keys[i].size(), keys[i]) == 0 && !keys[i].empty()) want = i;
    std::size_t length = 0;
    ASSERT_EQ(t.Match(slotOf(p), p, text.size(), &length), want) << round;
    if (want >= 0) {
      EXPECT_EQ(length, keys[want].size());
    }
    ASSERT_EQ(read.Match(slotOf(p), p, text.size()), want) << round;
  }
}

}  // namespace
}  // namespace quillmer
