// The windows' languages (choice, usage text, mnemonics, patterns) and the layout arithmetic
// that grows the main window's controls for longer captions and keeps text windows on screen.
#include "app/WindowTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <set>

#include "app/MainFormLayout.h"
#include "app/NoteFormLayout.h"
#include "app/UsageText.h"

namespace kv {
namespace {

using C = TMainControl;
constexpr TUiLanguage kLanguages[] = {TUiLanguage::kEnglish, TUiLanguage::kSlovak,
                                      TUiLanguage::kCzech};

TEST(WindowTextsTest, LanguageFollowsThePrimaryLanguage) {
  const std::pair<unsigned, TUiLanguage> rows[] = {
      {0x041B, TUiLanguage::kSlovak},  {0x0405, TUiLanguage::kCzech},
      {0x0409, TUiLanguage::kEnglish}, {0x0809, TUiLanguage::kEnglish},
      {0x0407, TUiLanguage::kEnglish}, {0x0415, TUiLanguage::kEnglish},
      {0x0000, TUiLanguage::kEnglish}, {0x7C1B, TUiLanguage::kSlovak},
  };
  for (const auto& [id, language] : rows)
    EXPECT_EQ(UiLanguageOf(id), language) << std::hex << id;
  EXPECT_EQ(WindowTexts(TUiLanguage::kSlovak).DownloadLanguage, std::string("SK"));
  EXPECT_EQ(WindowTexts(TUiLanguage::kCzech).DownloadLanguage, std::string("CZ"));
}

// In every language: 16 usage lines with the descriptions in column 23 (counted in characters),
// one distinct mnemonic on each label and radio button, and the names of the edit boxes are their
// labels without the mark.
TEST(WindowTextsTest, EveryLanguageIsComplete) {
  for (const TUiLanguage language : kLanguages) {
    SCOPED_TRACE(static_cast<int>(language));
    const TWindowTexts& texts = WindowTexts(language);
    const std::string usage = UsageText("\n", language);
    std::size_t lines = 0;
    for (std::size_t start = 0, end; (end = usage.find('\n', start)) != std::string::npos;
         start = end + 1, ++lines) {
      const std::string line = usage.substr(start, end - start);
      if (lines < 6)
        continue;
      const std::size_t space = line.find("  ");
      ASSERT_NE(space, std::string::npos) << line;
      const std::size_t column = line.find_first_not_of(' ', space);
      EXPECT_EQ(Utf8Length(line.substr(0, column)), 22u) << line;
    }
    EXPECT_EQ(lines, 21u);

    std::set<char> mnemonics;
    for (const C control : {C::Label8, C::rbKVURL, C::rbKVConfig, C::Label3}) {
      const std::string caption = MainControlCaption(control, texts);
      const std::size_t mark = caption.find('&');
      ASSERT_NE(mark, std::string::npos) << caption;
      EXPECT_TRUE(mnemonics.insert(static_cast<char>(std::tolower(caption[mark + 1]))).second)
          << caption;
    }
    EXPECT_EQ(MainControlName(C::edKVServerURL, texts), WithoutMnemonic(texts.ServerUrlChoice));
    EXPECT_EQ(MainControlName(C::edAutoinstallSRG, texts), WithoutMnemonic(texts.AnswerFileLabel));
    for (const C button : {C::sbOriginalSetupFile, C::sbKVConfigFile, C::sbAutoinstallSRGFile})
      EXPECT_FALSE(MainControlName(button, texts).empty());
    EXPECT_EQ(Fill(texts.PackageLoadFailed, {"\"a\"", "why"}).find("%"), std::string::npos);
  }
  // The English usage text is the program's console text: unchanged.
  EXPECT_EQ(UsageText("\r\n", TUiLanguage::kEnglish), UsageText("\r\n"));
}

TEST(WindowTextsTest, FillAndMnemonics) {
  EXPECT_EQ(Fill("a %1 b %2 c", {"x", "y"}), "a x b y c");
  EXPECT_EQ(Fill("%2%1", {"%2", "1"}), "1%2");  // a value's own marks stay
  EXPECT_EQ(Fill("100% %3", {"x"}), "100% %3");
  EXPECT_EQ(WithoutMnemonic("Save && &Quit"), "Save & Quit");
  EXPECT_EQ(Utf8Length("Názov súboru"), 12u);
}

// A failure text nested in another comes translated as a whole; quoted file names stay as they
// are even where they read like a failure; anything else, and every English text, is unchanged.
TEST(WindowTextsTest, FailuresInTheLanguage) {
  const std::string access =
      FailureMessageText(FailureMessage::kAccessListNotKept, {"Prístup zamietnutý."});
  const std::string nested =
      FailureMessageText(FailureMessage::kCannotCreateFileBecause, {"C:\\Not Found", access});
  struct Row {
    std::string text;
    TUiLanguage language;
    std::vector<std::string> kept;  // parts of the text found unchanged
    bool changed;
  };
  const Row rows[] = {
      {nested, TUiLanguage::kSlovak, {"\"C:\\Not Found\"", "Prístup zamietnutý."}, true},
      {nested, TUiLanguage::kCzech, {"\"C:\\Not Found\"", "Prístup zamietnutý."}, true},
      {nested, TUiLanguage::kEnglish, {nested}, false},
      {"Not Found.", TUiLanguage::kSlovak, {"Not Found."}, false},
      {"", TUiLanguage::kCzech, {}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const std::string shown = FailureInLanguage(row.text, row.language);
    EXPECT_EQ(shown != row.text, row.changed) << shown;
    for (const std::string& kept : row.kept)
      EXPECT_NE(shown.find(kept), std::string::npos) << shown;
    if (row.changed) {
      EXPECT_EQ(shown.find("Cannot create"), std::string::npos) << shown;
      EXPECT_EQ(shown.find("access list"), std::string::npos) << shown;
    }
  }
}

// Captions that fit keep every designed size; wider ones grow their control (the store button to
// the left) and the client area, at every resolution.
TEST(WindowTextsTest, MainFormGrowsForLongerCaptions) {
  struct Row {
    int dpi;
    C control;
    int text_width;
    ScreenRect at_fit_width;  // the control at the fit's client width
    int client_width;
  };
  const Row rows[] = {
      {96, C::rbKVURL, 200, ScreenRect::OfSize(16, 62, 273, 17), 596},
      {96, C::rbKVURL, 300, ScreenRect::OfSize(16, 62, 320, 17), 596},
      {96, C::rbKVConfig, 600, ScreenRect::OfSize(16, 110, 620, 17), 652},
      {96, C::Label3, 570, ScreenRect::OfSize(16, 160, 570, 13), 602},
      {96, C::btStoreToSetup, 150, ScreenRect::OfSize(394, 240, 186, 25), 596},
      {144, C::btStoreToSetup, 300, ScreenRect::OfSize(516, 360, 354, 38), 894},
      {144, C::rbKVConfig, 900, ScreenRect::OfSize(24, 165, 930, 26), 978},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.dpi) + " dpi, control " + std::to_string(int(row.control)));
    std::array<int, kMainControlCount> widths{};
    widths[static_cast<std::size_t>(row.control)] = row.text_width;
    const TMainFormFit fit = FitMainForm(row.dpi, widths);
    EXPECT_EQ(fit.ClientWidth, row.client_width);
    EXPECT_EQ(MainControlRect(row.control, row.dpi, fit.ClientWidth, &fit), row.at_fit_width);
    // The edit boxes widen with the window; the browse buttons stay beside them.
    const ScreenRect edit = MainControlRect(C::edKVConfigFile, row.dpi, fit.ClientWidth, &fit);
    EXPECT_NEAR(edit.Right, MainControlRect(C::sbKVConfigFile, row.dpi, fit.ClientWidth, &fit).Left,
                1);
    EXPECT_EQ(MainFormSizeLimits(row.dpi, 8, 30, fit.ClientWidth).MinWidth,
              std::max(ScaleToPixelsPerInch(600, row.dpi), fit.ClientWidth + 8));
  }
}

// The radio buttons are one group: next to each other in the z-order; Tab, which follows the
// z-order, still visits the stops in the designed order.
TEST(WindowTextsTest, CreationOrderKeepsTheTabOrder) {
  const auto order = MainFormCreationOrder();
  const auto at = [&](C control) { return std::find(order.begin(), order.end(), control); };
  EXPECT_EQ(at(C::rbKVConfig), at(C::rbKVURL) + 1);
  EXPECT_EQ(std::set<C>(order.begin(), order.end()).size(), kMainControlCount);
  for (const bool server_url : {true, false}) {
    const std::vector<C> stops = MainFormTabStops(server_url);
    for (std::size_t i = 1; i < stops.size(); ++i)
      EXPECT_LT(at(stops[i - 1]), at(stops[i]));
  }
  EXPECT_EQ(BrowseTarget(C::sbKVConfigFile), C::edKVConfigFile);
  EXPECT_EQ(BrowseButtonOf(C::edAutoinstallSRG), C::sbAutoinstallSRGFile);
  EXPECT_EQ(BrowseButtonOf(C::edKVServerURL), C::edKVServerURL);
}

TEST(WindowTextsTest, GlyphsTakeTheFrameOfTheResolution) {
  const std::pair<int, int> rows[] = {{96, 16},  {120, 16}, {144, 16}, {168, 16},
                                      {192, 32}, {240, 32}, {288, 48}, {384, 48}};
  for (const auto& [dpi, size] : rows)
    EXPECT_EQ(GlyphSize(dpi), size) << dpi;
}

TEST(WindowTextsTest, TextWindowsStayInTheWorkArea) {
  struct Row {
    ScreenRect work;
    int left, top, width, height;
    ScreenRect placed;
  };
  const Row rows[] = {
      {ScreenRect::OfSize(0, 0, 1920, 1040), 187, 192, 778, 644,
       ScreenRect::OfSize(187, 192, 778, 644)},
      // A second monitor to the right at 144 dpi, 1080p with a taskbar.
      {ScreenRect::OfSize(1920, 0, 1920, 1032), 281, 288, 1167, 966,
       ScreenRect::OfSize(2201, 66, 1167, 966)},
      // Larger than the work area: cut; a monitor left of the primary one.
      {ScreenRect::OfSize(-1280, 0, 1280, 984), 187, 192, 1400, 1100,
       ScreenRect::OfSize(-1280, 0, 1280, 984)},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PlaceInWorkArea(row.work, row.left, row.top, row.width, row.height), row.placed);
  }
}

}  // namespace
}  // namespace kv
