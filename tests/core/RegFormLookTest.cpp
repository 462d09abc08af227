// The look's rules that both windows follow: which texts a spin edit takes and
// what they read as, how large the Transforms window grows for a report, the
// scaling of design pixels, the worst landmark's mark and the shortcuts' keys.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

#include "reg/RegFormLook.h"

namespace {

using look::TPixelSize;
using look::TReportExtent;

// ---------------------------------------------------------------------------
// Spin edits

struct TSpinCase {
  const char* text;
  std::optional<int32_t> value;  // what the text reads as when it is an integer
  bool typable;                  // whether an edit takes it while it is typed
};

const TSpinCase kSpinCases[] = {
    {"", std::nullopt, true},
    {"  \t", std::nullopt, true},
    {"-", std::nullopt, true},
    {"+", std::nullopt, true},
    {" - ", std::nullopt, true},
    {"0", 0, true},
    {"-0", 0, true},
    {"+007", 7, true},
    {" 42\t", 42, true},
    {"2147483647", INT32_MAX, true},
    {"-2147483648", INT32_MIN, true},
    {"-2147483647", -INT32_MAX, true},
    {"000000000000002147483647", INT32_MAX, true},
    {"2147483648", std::nullopt, false},
    {"-2147483649", std::nullopt, false},
    {"99999999999999999999999", std::nullopt, false},
    {"4 2", std::nullopt, false},
    {"12a3", std::nullopt, false},
    {"0.5", std::nullopt, false},
    {"1-2", std::nullopt, false},
    {"--1", std::nullopt, false},
    {"+-1", std::nullopt, false},
    {"- 5", std::nullopt, false},
    {"0x10", std::nullopt, false},
    {"1e3", std::nullopt, false},
    {"1,000", std::nullopt, false},
    {"\xc2\xb9", std::nullopt, false},  // a superscript one is no digit
};

TEST(SpinEditText, ReadsAndTakesExactlyTheSigned32BitIntegers) {
  for (const TSpinCase& c : kSpinCases) {
    EXPECT_EQ(ParseSpinEditText(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(SpinEditValue(c.text), c.value.value_or(0)) << '"' << c.text << '"';
    EXPECT_EQ(IsSpinEditText(c.text), c.typable) << '"' << c.text << '"';
  }
}

// Whatever an edit may end up holding can be typed a character at a time.
TEST(SpinEditText, EveryBeginningOfATakenTextIsTakenToo) {
  for (const TSpinCase& c : kSpinCases) {
    if (!c.typable) continue;
    const std::string text = c.text;
    for (size_t n = 0; n <= text.size(); ++n) EXPECT_TRUE(IsSpinEditText(text.substr(0, n))) << '"' << text << '"';
  }
}

// Each value of the range reads back from the text the edit shows for it.
TEST(SpinEditText, ValuesReadBackFromTheirText) {
  for (int64_t v : {int64_t{INT32_MIN}, int64_t{INT32_MIN} + 1, int64_t{-1}, int64_t{0}, int64_t{1},
                    int64_t{1234567}, int64_t{INT32_MAX} - 1, int64_t{INT32_MAX}})
    EXPECT_EQ(SpinEditValue(std::to_string(v)), v);
}

// ---------------------------------------------------------------------------
// Sizes

TEST(ScaledPixels, RoundsToTheNearestPixelHalvesAwayFromZero) {
  struct TCase {
    int design, dpi, expected;
  } cases[] = {{479, 96, 479}, {479, 144, 719}, {249, 144, 374}, {1, 120, 1},
               {2, 120, 3},    {-3, 144, -5},   {0, 200, 0},     {48, 192, 96}};
  for (const TCase& c : cases) EXPECT_EQ(ScaledPixels(c.design, c.dpi), c.expected) << c.design << " @ " << c.dpi;
}

TEST(TransformsClientSize, FitsTheReportAndTheCheckWithinTheWorkArea) {
  struct TCase {
    const char* what;
    TReportExtent report;
    bool checkShown;
    std::optional<TPixelSize> workArea;
    int dpi;
    std::optional<TPixelSize> expected;
  };
  const TPixelSize screen{1280, 1024};
  const TCase cases[] = {
      {"no lines: the size stays", {0, 0, 13}, true, screen, 96, std::nullopt},
      {"a short report: the first size", {3, 100, 13}, false, screen, 96, TPixelSize{479, 249}},
      // 600 + 48 across; 15 * (22 + 1) + 48 down.
      {"a fit's report", {22, 600, 15}, false, screen, 96, TPixelSize{648, 393}},
      {"with the check below it", {22, 600, 15}, true, screen, 96, TPixelSize{648, 633}},
      {"a report just wider than the first size", {1, 432, 13}, false, screen, 96, TPixelSize{480, 249}},
      // Work area 640 x 480: at most 600 x 400.
      {"a small screen", {22, 600, 15}, true, TPixelSize{640, 480}, 96, TPixelSize{600, 400}},
      {"no screen known", {200, 3000, 15}, true, std::nullopt, 96, TPixelSize{3048, 3303}},
      // At 144 dpi: first size 719 x 374, frame 72, check 360, margins 60 and 120.
      {"a short report at 144 dpi", {3, 100, 20}, false, screen, 144, TPixelSize{719, 374}},
      {"a fit's report at 144 dpi", {22, 900, 22}, true, TPixelSize{2560, 1600}, 144, TPixelSize{972, 938}},
      {"the same on a screen of 1024 pixels", {22, 900, 22}, true, screen, 144, TPixelSize{972, 904}},
      {"a small screen at 144 dpi", {22, 900, 22}, true, TPixelSize{960, 720}, 144, TPixelSize{900, 600}},
  };
  for (const TCase& c : cases) {
    const auto size = TransformsClientSize(c.report, c.checkShown, c.workArea, c.dpi);
    ASSERT_EQ(size.has_value(), c.expected.has_value()) << c.what;
    if (size) {
      EXPECT_EQ(size->width, c.expected->width) << c.what;
      EXPECT_EQ(size->height, c.expected->height) << c.what;
    }
  }
}

// ---------------------------------------------------------------------------
// The landmark check and the shortcuts

TEST(CheckTableCells, MarkOnlyTheWorstRow) {
  EXPECT_EQ(CheckTableCells({4, "0.40", "0.90", true}), (std::vector<std::string>{"4 *", "0.40", "0.90"}));
  EXPECT_EQ(CheckTableCells({12, "0.12", "n/a", false}), (std::vector<std::string>{"12", "0.12", "n/a"}));
  EXPECT_EQ(CheckTableCells({3, "0.50", "n/a", false, "0.61", "n/a"}),
            (std::vector<std::string>{"3", "0.50", "n/a", "0.61", "n/a"}));
  EXPECT_EQ(CheckTableHeaders(true).size(), 5u);
}

TEST(ShortcutKey, EveryShortcutHasItsTextAndKey) {
  struct TCase {
    TShortcut shortcut;
    const char* text;
    bool ctrl;
    char letter;
    int functionKey;
  } cases[] = {
      {TShortcut::F1, "F1", false, 0, 1},        {TShortcut::F2, "F2", false, 0, 2},
      {TShortcut::F3, "F3", false, 0, 3},        {TShortcut::F4, "F4", false, 0, 4},
      {TShortcut::F5, "F5", false, 0, 5},        {TShortcut::F6, "F6", false, 0, 6},
      {TShortcut::CtrlO, "Ctrl+O", true, 'O', 0}, {TShortcut::CtrlS, "Ctrl+S", true, 'S', 0},
  };
  for (const TCase& c : cases) {
    const TShortcutKey* k = ShortcutKey(c.shortcut);
    ASSERT_NE(k, nullptr) << c.text;
    EXPECT_STREQ(k->text, c.text);
    EXPECT_STREQ(ShortcutText(c.shortcut), c.text);
    EXPECT_EQ(k->ctrl, c.ctrl) << c.text;
    EXPECT_EQ(k->letter, c.letter) << c.text;
    EXPECT_EQ(k->functionKey, c.functionKey) << c.text;
  }
  EXPECT_EQ(ShortcutKey(TShortcut::None), nullptr);
  EXPECT_STREQ(ShortcutText(TShortcut::None), "");
}

}  // namespace
