// The main window's layout at several screens and widths, its tab stops and size limits, and the
// message dialog's layout and answers.
#include "app/MainFormLayout.h"

#include <gtest/gtest.h>

#include "app/MainFormDialogs.h"
#include "app/MessageBox.h"

namespace kv {
namespace {

using C = TMainControl;

// Tables give a rectangle by its corner and size.
ScreenRect Sized(int left, int top, int width, int height) {
  return ScreenRect::OfSize(left, top, width, height);
}

TEST(MainFormLayoutTest, DesignedPlacesAtNinetySixPixelsPerInch) {
  struct Row {
    C control;
    ScreenRect at_design_width;
    ScreenRect two_hundred_wider;
  };
  const Row rows[] = {
      {C::edOriginalSetupFile, Sized(16, 32, 541, 21), Sized(16, 32, 741, 21)},
      {C::sbOriginalSetupFile, Sized(557, 32, 23, 22), Sized(757, 32, 23, 22)},
      {C::rbKVURL, Sized(16, 62, 273, 17), Sized(16, 62, 273, 17)},
      {C::edKVServerURL, Sized(16, 80, 564, 21), Sized(16, 80, 764, 21)},
      {C::rbKVConfig, Sized(16, 110, 545, 17), Sized(16, 110, 545, 17)},
      {C::edKVConfigFile, Sized(16, 128, 541, 21), Sized(16, 128, 741, 21)},
      {C::sbKVConfigFile, Sized(557, 128, 23, 22), Sized(757, 128, 23, 22)},
      {C::edAutoinstallSRG, Sized(16, 192, 541, 21), Sized(16, 192, 741, 21)},
      {C::sbAutoinstallSRGFile, Sized(557, 192, 23, 22), Sized(757, 192, 23, 22)},
      {C::btStoreToSetup, Sized(412, 240, 168, 25), Sized(612, 240, 168, 25)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.control));
    EXPECT_EQ(MainControlRect(row.control, 96, 596), row.at_design_width);
    EXPECT_EQ(MainControlRect(row.control, 96, 796), row.two_hundred_wider);
  }
}

// On every screen and width the browse buttons adjoin their edit boxes, the right-hand controls
// keep the scaled right margin, and the tab stops never change with the size.
TEST(MainFormLayoutTest, RightEdgeFollowsTheWindowOnEveryScreen) {
  for (const int dpi : {96, 120, 144, 168, 192}) {
    const int design_width = ScaleToPixelsPerInch(596, dpi);
    const int margin = ScaleToPixelsPerInch(16, dpi);
    for (const int extra : {0, 1, 37, 400}) {
      SCOPED_TRACE(std::to_string(dpi) + " dpi, " + std::to_string(extra) + " wider");
      const int width = design_width + extra;
      for (const auto& [edit, browse] : {std::pair{C::edOriginalSetupFile, C::sbOriginalSetupFile},
                                         {C::edKVConfigFile, C::sbKVConfigFile},
                                         {C::edAutoinstallSRG, C::sbAutoinstallSRGFile}}) {
        const ScreenRect e = MainControlRect(edit, dpi, width);
        const ScreenRect b = MainControlRect(browse, dpi, width);
        EXPECT_NEAR(e.Right, b.Left, 1);
        EXPECT_NEAR(b.Right, width - margin, 1);
        EXPECT_EQ(e.Top, b.Top);
      }
      EXPECT_NEAR(MainControlRect(C::edKVServerURL, dpi, width).Right, width - margin, 1);
      EXPECT_NEAR(MainControlRect(C::btStoreToSetup, dpi, width).Right, width - margin, 1);
      EXPECT_EQ(MainControlRect(C::rbKVURL, dpi, width), MainControlRect(C::rbKVURL, dpi, 0));
    }
  }
}

TEST(MainFormLayoutTest, SizeLimitsAndCentring) {
  EXPECT_EQ(MainFormSizeLimits(96, 16, 39).MinWidth, 600);
  EXPECT_EQ(MainFormSizeLimits(96, 16, 39).FixedHeight, 282 + 39);
  EXPECT_EQ(MainFormSizeLimits(144, 16, 39).MinWidth, 900);
  EXPECT_EQ(MainFormSizeLimits(144, 16, 39).FixedHeight, 423 + 39);
  EXPECT_EQ(MainFormSizeLimits(96, 700, 39).MinWidth, 700);

  EXPECT_EQ(CentredWindowRect(Sized(0, 0, 1280, 984), 612, 321), Sized(334, 331, 612, 321));
  // A work area beside a task bar on the left; a window larger than the work area.
  EXPECT_EQ(CentredWindowRect(Sized(60, 0, 1220, 1024), 600, 300), Sized(370, 362, 600, 300));
  EXPECT_EQ(CentredWindowRect(Sized(60, 10, 500, 200), 600, 300), Sized(60, 10, 600, 300));
}

TEST(MainFormLayoutTest, TabStopsFollowTheSelectedChoice) {
  const std::vector<C> download = {C::edOriginalSetupFile, C::rbKVURL, C::edKVServerURL,
                                   C::edAutoinstallSRG, C::btStoreToSetup};
  const std::vector<C> file = {C::edOriginalSetupFile, C::rbKVConfig, C::edKVConfigFile,
                               C::edAutoinstallSRG, C::btStoreToSetup};
  EXPECT_EQ(MainFormTabStops(true), download);
  EXPECT_EQ(MainFormTabStops(false), file);
  EXPECT_TRUE(ChoiceStates(true).ServerURLEnabled);
  EXPECT_FALSE(ChoiceStates(true).ConfigFileEnabled);
  EXPECT_FALSE(ChoiceStates(false).ServerURLEnabled);
  EXPECT_TRUE(ChoiceStates(false).ConfigFileEnabled);
}

TEST(MessageDialogTest, ButtonsAndTheAnswersOfEscapeAndClose) {
  const std::vector<TMessageButton> question = MessageBoxButtons(TMessageButtons::kCancelIgnore);
  ASSERT_EQ(question.size(), 2u);
  // "Cancel" comes first and takes the focus, so Enter means Cancel too.
  EXPECT_EQ(question[0].Answer, TMessageAnswer::kCancel);
  EXPECT_EQ(question[1].Answer, TMessageAnswer::kIgnore);
  EXPECT_EQ(DismissAnswer(TMessageButtons::kCancelIgnore), TMessageAnswer::kCancel);
  ASSERT_EQ(MessageBoxButtons(TMessageButtons::kOk).size(), 1u);
  EXPECT_EQ(DismissAnswer(TMessageButtons::kOk), TMessageAnswer::kOk);
}

TEST(MessageDialogTest, LayoutKeepsIconTextAndButtonsApart) {
  struct Row {
    int dpi;
    int text_width, text_height;
    std::size_t buttons;
  };
  const Row rows[] = {{96, 300, 26, 1}, {96, 10, 13, 2}, {144, 630, 200, 2}, {120, 0, 0, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.dpi);
    const TMessageDialogLayout layout =
        LayoutMessageDialog(row.dpi, row.text_width, row.text_height, row.buttons);
    EXPECT_EQ(layout.Icon.Width(), ScaleToPixelsPerInch(32, row.dpi));
    EXPECT_GT(layout.Text.Left, layout.Icon.Right);
    EXPECT_LE(layout.Text.Right, layout.ClientWidth);
    ASSERT_EQ(layout.Buttons.size(), row.buttons);
    for (std::size_t i = 0; i < layout.Buttons.size(); ++i) {
      const ScreenRect& button = layout.Buttons[i];
      EXPECT_GE(button.Top, layout.Text.Bottom);
      EXPECT_GE(button.Top, layout.Icon.Bottom);
      EXPECT_GE(button.Left, 0);
      EXPECT_LE(button.Bottom, layout.ClientHeight);
      if (i > 0) {
        EXPECT_GT(button.Left, layout.Buttons[i - 1].Right);
      }
    }
    // The row ends at the right margin, which equals the left one.
    EXPECT_EQ(layout.ClientWidth - layout.Buttons.back().Right, layout.Icon.Left);
  }
}

// A box goes over its owner, or on the work area of a second monitor when the owner is minimised
// or hidden, and never leaves the work area, however large it is or wherever the owner stands.
TEST(MessageDialogTest, PlacedInsideTheWorkArea) {
  const ScreenRect work = Sized(1920, 0, 1280, 984);  // a second monitor right of the first
  struct Row {
    std::optional<ScreenRect> owner;
    int width, height;
    ScreenRect placed;
  };
  const Row rows[] = {
      {Sized(2000, 100, 600, 300), 200, 100, Sized(2200, 200, 200, 100)},
      {std::nullopt, 200, 100, Sized(2460, 442, 200, 100)},
      {Sized(3100, 900, 600, 300), 200, 100, Sized(3000, 884, 200, 100)},
      {Sized(1800, -50, 100, 40), 200, 100, Sized(1920, 0, 200, 100)},
      {Sized(2000, 100, 600, 300), 5000, 100, Sized(1920, 200, 1280, 100)},
      {std::nullopt, 300, 2000, Sized(2410, 0, 300, 984)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.width);
    EXPECT_EQ(PlaceMessageBox(work, row.owner, row.width, row.height), row.placed);
  }
}

// The open dialog is shared by the three browse buttons and keeps the filter index of its last
// use; an index the new filter does not have falls back to the first entry.
TEST(FileDialogTest, FilterTextIsZeroSeparatedAndDoublyEnded) {
  EXPECT_EQ(DialogFilterText("Setup|*.exe;*.msi|All|*.*"),
            std::string("Setup\0*.exe;*.msi\0All\0*.*\0\0", 27));
}

TEST(FileDialogTest, CarriedFilterIndex) {
  struct Row {
    TBrowseField field;
    int carried;
    int shown;
  };
  const Row rows[] = {
      {TBrowseField::kOriginalSetupFile, 4, 4},  // "All Files" of the setup filter
      {TBrowseField::kKVConfigFile, 4, 1},       // two entries only
      {TBrowseField::kAutoinstallSRG, 2, 2},    {TBrowseField::kKVConfigFile, 0, 1},
      {TBrowseField::kOriginalSetupFile, 5, 1}, {TBrowseField::kShownSetupFile, 4, 4},
  };
  for (const Row& row : rows) {
    const TFileDialogSetup setup = BrowseDialogSetup(row.field, " C:\\x.exe");
    EXPECT_EQ(EffectiveFilterIndex(setup, row.carried), row.shown);
    EXPECT_EQ(setup.FileName, " C:\\x.exe");  // offered unchanged
    EXPECT_FALSE(setup.Save);
  }
  // The save dialog always starts at its first entry.
  EXPECT_EQ(EffectiveFilterIndex(SaveDialogSetup("a.exe", ""), 2), 1);
}

}  // namespace
}  // namespace kv
