// The in-memory dialog template writers, byte for byte.
#include <gtest/gtest.h>

#include "MyDialogs.h"

namespace {

// Little-endian builder for the expected bytes.
struct TBytes {
  TTemplateStream b;
  TBytes& U16(uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  TBytes& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
  TBytes& Str(const char16_t* s) {
    for (; *s; ++s) U16(*s);
    return U16(0);
  }
};

uint16_t UnitAt(const TTemplateStream& s, size_t offset) {
  return static_cast<uint16_t>(s[offset] | s[offset + 1] << 8);
}

class DialogTemplateTest : public ::testing::Test {
 protected:
  void TearDown() override { SetTemplateHooks({}); }
};

TEST_F(DialogTemplateTest, HeaderWithFontIs56Bytes) {
  TTemplateStream s;
  WriteDialogHeader(s, 0, 0, 240, 90, 3, 0x80C800C0 | kDsSetFont, "A", "");
  const TTemplateStream expected = TBytes()
                                       .U32(0x80C800C0 | kDsSetFont)
                                       .U32(0)
                                       .U16(3)
                                       .U16(0)
                                       .U16(0)
                                       .U16(240)
                                       .U16(90)
                                       .U16(0)         // menu
                                       .U16(0)         // class
                                       .Str(u"A")      // title
                                       .U16(8)         // point size
                                       .Str(u"MS Sans Serif")
                                       .b;
  EXPECT_EQ(s.size(), 56u);
  EXPECT_EQ(s, expected);
}

TEST_F(DialogTemplateTest, StaticWithEmptyTextIs26BytesAndPadding) {
  TTemplateStream s;
  WriteDialogItem(s, 5, -7, 100, 12, 0xFFFF, 0x50000001, kAtomStatic, "");
  const TTemplateStream expected = TBytes()
                                       .U32(0x50000001)
                                       .U32(0)
                                       .U16(5)
                                       .U16(0xFFF9)
                                       .U16(100)
                                       .U16(12)
                                       .U16(0xFFFF)
                                       .U16(0xFFFF)
                                       .U16(0x0082)
                                       .U16(0)   // empty text
                                       .U16(0)   // creation data
                                       .U16(0)   // padding to a DWORD
                                       .b;
  EXPECT_EQ(s, expected);
}

TEST_F(DialogTemplateTest, PixelsBecomeDialogUnitsWithoutSetFont) {
  struct {
    uint32_t baseUnits;
    int cx, cy;
    uint16_t wantCx, wantCy;
  } cases[] = {
      {0x00100008, 400, 200, 200, 100},  // 8 by 16
      {0x000D0006, 400, 200, 266, 123},  // 6 by 13: divisions truncate
      {0x00000000, 400, 200, 400, 200},  // no base units: unchanged, never a division by 0
  };
  for (const auto& c : cases) {
    static uint32_t units;
    units = c.baseUnits;
    SetTemplateHooks({nullptr, [] { return units; }});
    TTemplateStream s;
    WriteDialogHeader(s, 0, 0, c.cx, c.cy, 1, 0x80C80000, "", "");
    EXPECT_EQ(UnitAt(s, 14), c.wantCx) << std::hex << c.baseUnits;
    EXPECT_EQ(UnitAt(s, 16), c.wantCy) << std::hex << c.baseUnits;
    EXPECT_EQ(s.size(), 24u) << "18 fixed, menu, class, title; no padding";
  }
  // With DS_SETFONT the same request is taken as dialog units.
  TTemplateStream s;
  WriteDialogHeader(s, 0, 0, 400, 200, 0, kDsSetFont, "", "");
  EXPECT_EQ(UnitAt(s, 14), 400);
  EXPECT_EQ(UnitAt(s, 16), 200);
}

TEST_F(DialogTemplateTest, EveryControlStartsOnADword) {
  // Titles, classes and texts of every parity; each write ends on a multiple of 4.
  for (int titleLength = 0; titleLength < 6; ++titleLength) {
    TTemplateStream s;
    WriteDialogHeader(s, 0, 0, 10, 10, 4, kDsSetFont, std::string(titleLength, 't'),
                      titleLength % 2 ? "Cls" : "");
    ASSERT_EQ(s.size() % 4, 0u) << titleLength;
    for (int textLength = 0; textLength < 4; ++textLength) {
      const size_t start = s.size();
      WriteDialogItem(s, 1, 2, 3, 4, 100, 0x50000000, kAtomButton, std::string(textLength, 'x'));
      EXPECT_EQ(s.size() % 4, 0u) << titleLength << "/" << textLength;
      EXPECT_EQ(UnitAt(s, start + 18), 0xFFFF);
      EXPECT_EQ(UnitAt(s, start + 20), kAtomButton);
      EXPECT_EQ(UnitAt(s, start + 22 + 2 * static_cast<size_t>(textLength)), 0) << "terminator";
    }
  }
}

TEST_F(DialogTemplateTest, AnsiTextsAndLongTextsAreCutSafely) {
  // Windows-1252 by default: the euro sign, umlauts, the unassigned 0x81.
  TTemplateStream s;
  WriteDialogItem(s, 0, 0, 0, 0, 1, 0x50000000, kAtomStatic, "\x80\xe4\x81" "a");
  EXPECT_EQ(UnitAt(s, 22), 0x20AC);
  EXPECT_EQ(UnitAt(s, 24), 0x00E4);
  EXPECT_EQ(UnitAt(s, 26), 0x0081);
  EXPECT_EQ(UnitAt(s, 28), u'a');
  EXPECT_EQ(UnitAt(s, 30), 0);

  // A title beyond the 100-unit buffer keeps 99 units and its terminator.
  s.clear();
  WriteDialogHeader(s, 0, 0, 0, 0, 0, 0, std::string(150, 'T'), "");
  EXPECT_EQ(s.size(), 18u + 2 + 2 + 99 * 2 + 2 + 2);
  EXPECT_EQ(UnitAt(s, 22 + 98 * 2), u'T');
  EXPECT_EQ(UnitAt(s, 22 + 99 * 2), 0);

  // A control text beyond 32000 units.
  s.clear();
  WriteDialogItem(s, 0, 0, 0, 0, 1, 0x50000000, kAtomStatic, std::string(40000, 'x'));
  EXPECT_EQ(s.size(), 22u + 31999 * 2 + 2 + 2);  // already on a DWORD

  // An injected converter is used, and a cut never splits a surrogate pair.
  SetTemplateHooks({[](const std::string& a) {
                      std::u16string out;
                      for (size_t i = 0; i < a.size(); ++i) out += u"\xD83D\xDE00";
                      return out;
                    },
                    nullptr});
  s.clear();
  WriteDialogHeader(s, 0, 0, 0, 0, 0, 0, std::string(60, 'e'), "");
  // 99 units would end inside a pair: 98 units (49 pairs) are kept.
  EXPECT_EQ(UnitAt(s, 22 + 97 * 2), 0xDE00);
  EXPECT_EQ(UnitAt(s, 22 + 98 * 2), 0);
}

}  // namespace
