// Small hand-made conversion tables put in place of the built-in resources, so
// that engine tests check the algorithms and not the shipped data.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/tables.h"
#include "platform/base/text.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"

namespace quillmer::testing {

// What the tables report, shown as the module shows it.
inline void ShowAsMessageBox(const std::string& text, unsigned icon) {
  MessageBox(FromUtf8(text), u"Quillmer", MB_OK | icon);
}

inline std::string Gbk(std::u16string_view s) { return EncodeCodePage(936, s); }
inline std::string Big5(std::u16string_view s) { return EncodeCodePage(950, s); }
inline std::string U8(std::u16string_view s) { return ToUtf8(s); }

// strtbl line: a GBK character and its Big5 counterparts.
inline std::string CharLine(std::u16string_view gbk, std::u16string_view big5) {
  return Gbk(gbk) + Big5(big5);
}

struct FixEntry {
  std::string key, replacement;
};

// Keys in descending byte order (a key before its prefixes), index records by
// first-character slot; `sort` false keeps the given order.
inline void MakeFixResources(std::vector<FixEntry> entries, std::string& index, std::string& keys,
                             std::string& repls, bool sort = true) {
  if (sort)
    std::stable_sort(entries.begin(), entries.end(), [](const FixEntry& a, const FixEntry& b) {
      return std::lexicographical_compare(
          b.key.begin(), b.key.end(), a.key.begin(), a.key.end(), [](char x, char y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
          });
    });
  std::map<int, std::pair<int, int>> slots;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& k = entries[i].key;
    auto b0 = static_cast<unsigned char>(k[0]);
    int slot =
        b0 >= 0x81 ? FixSlotOfCode(b0 << 8 | static_cast<unsigned char>(k[1])) : FixSlotOfByte(b0);
    auto it = slots.find(slot);
    if (it == slots.end())
      slots[slot] = {static_cast<int>(i), static_cast<int>(i)};
    else
      it->second.second = static_cast<int>(i);
    keys += k + "\n";
    repls += entries[i].replacement + "\n";
  }
  auto put32 = [&](int v) {
    for (int b = 0; b < 4; ++b) index.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
  };
  for (auto& [slot, range] : slots) {
    put32(slot);
    put32(range.first);
    put32(range.second);
  }
}

// Installs the given tables; what is not given is empty. Restores the built-in
// resources and forgets the tables afterwards.
class SmallTables : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxHandler([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
    Tables().report = ShowAsMessageBox;
    Install({}, {}, {});
  }
  void TearDown() override {
    Tables().report = {};
    SetMessageBoxHandler(std::move(previous_));
    ClearResourceOverrides();
    ResetTables();
  }

  void Install(const std::vector<std::string>& charLines, std::vector<FixEntry> b5fix,
               std::vector<FixEntry> gbfix, bool sortFix = true) {
    std::string strtbl;
    for (const auto& l : charLines) strtbl += l + "\n";
    SetResourceOverride("strtbl", RT_RCDATA, strtbl);
    std::string i1, k1, r1, i2, k2, r2;
    MakeFixResources(std::move(b5fix), i1, k1, r1, sortFix);
    MakeFixResources(std::move(gbfix), i2, k2, r2, sortFix);
    SetResourceOverride("key1ndx", RT_RCDATA, i1);
    SetResourceOverride("b5_1ndx", RT_RCDATA, k1);
    SetResourceOverride("b5_2ndx", RT_RCDATA, r1);
    SetResourceOverride("key2ndx", RT_RCDATA, i2);
    SetResourceOverride("gb_1ndx", RT_RCDATA, k2);
    SetResourceOverride("gb_2ndx", RT_RCDATA, r2);
    ResetTables();
  }

  // A set that most tests share: 发/發髮, 干/干幹, 国/國, 头/頭, 面/麵面, 中华.
  void InstallCommon() {
    Install({CharLine(u"发", u"發髮"), CharLine(u"干", u"干幹"), CharLine(u"国", u"國"),
             CharLine(u"头", u"頭"), CharLine(u"面", u"麵面"), CharLine(u"华", u"華"),
             CharLine(u"中", u"中"), CharLine(u"拉", u"拉"), CharLine(u"巾", u"巾"),
             CharLine(u"了", u"了")},
            {{Big5(u"頭發"), Big5(u"頭髮")},
             {Big5(u"干了"), Big5(u"幹了")},
             {Big5(u"拉麵"), Big5(u"拉麵")},
             {Big5(u"拉麵巾"), Big5(u"拉面巾")}},
            {{Gbk(u"乾燥"), Gbk(u"干燥")}});
  }

  std::vector<MessageBoxCall> boxes;

 private:
  MessageBoxHandler previous_;
};

}  // namespace quillmer::testing
