#include "ui/SpeedButtonLogic.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kv {
namespace {

using S = TButtonState;
constexpr int kWidth = 23;
constexpr int kHeight = 22;

struct Parent;

// One button on a fake parent; counts what the machine asked of its window.
struct Button : TSpeedButtonHost {
  explicit Button(Parent* owner) : parent(owner), logic(*this) {}
  void Invalidate() override { ++invalidates; }
  void Repaint() override { ++repaints; }
  void Click() override { ++clicks; }
  void DblClick() override { ++double_clicks; }
  void BroadcastButtonPressed(int group_index, const TSpeedButtonLogic* sender) override;
  bool IsUnderMouseCursor() override { return under_cursor; }
  bool AnyWindowHasCapture() override { return capture; }

  int Paints() const { return invalidates + repaints; }
  void Press(int x = 5, int y = 5) {
    logic.MouseDown(true);
    logic.MouseUp(x, y, kWidth, kHeight);
  }

  Parent* parent;
  TSpeedButtonLogic logic;
  int invalidates = 0, repaints = 0, clicks = 0, double_clicks = 0, broadcasts = 0;
  bool under_cursor = true;
  bool capture = false;
};

struct Parent {
  std::vector<std::unique_ptr<Button>> controls;
  Button& Add(int group_index) {
    controls.push_back(std::make_unique<Button>(this));
    controls.back()->logic.SetGroupIndex(group_index);
    return *controls.back();
  }
};

void Button::BroadcastButtonPressed(int group_index, const TSpeedButtonLogic* sender) {
  ++broadcasts;
  if (!parent)
    return;
  for (auto& control : parent->controls)
    control->logic.ButtonPressed(group_index, *sender);
}

TEST(SpeedButtonLogicTest, GroupOfButtons) {
  Parent parent;
  Button& first = parent.Add(1);
  Button& second = parent.Add(1);
  Button& other_group = parent.Add(2);
  Button& plain = parent.Add(0);
  other_group.logic.SetDown(true);

  // Down := true without a group does nothing.
  const int plain_paints = plain.Paints();
  plain.logic.SetDown(true);
  EXPECT_FALSE(plain.logic.Down());
  EXPECT_EQ(plain.Paints(), plain_paints);
  EXPECT_EQ(plain.broadcasts, 0);

  first.Press();
  EXPECT_TRUE(first.logic.Down());
  EXPECT_EQ(first.logic.State(), S::bsExclusive);
  EXPECT_EQ(first.clicks, 1);

  // A second press on the down button of a group without AllowAllUp keeps it down, but clicks.
  first.Press();
  EXPECT_TRUE(first.logic.Down());
  EXPECT_EQ(first.clicks, 2);
  // Down := false on it does nothing either.
  first.logic.SetDown(false);
  EXPECT_TRUE(first.logic.Down());

  // Pressing another button of the group releases the first; the other group is not touched.
  const int first_paints = first.Paints();
  second.Press();
  EXPECT_TRUE(second.logic.Down());
  EXPECT_FALSE(first.logic.Down());
  EXPECT_EQ(first.logic.State(), S::bsUp);
  EXPECT_GT(first.Paints(), first_paints);
  EXPECT_TRUE(other_group.logic.Down());

  // AllowAllUp spreads over the group through the broadcast; then the down button may go up.
  second.logic.SetAllowAllUp(true);
  EXPECT_TRUE(first.logic.AllowAllUp());
  EXPECT_FALSE(other_group.logic.AllowAllUp());
  second.Press();
  EXPECT_FALSE(second.logic.Down());
  EXPECT_EQ(second.logic.State(), S::bsUp);

  // A button that joins the group while another is down does not release it: only a button
  // that goes down releases the others.
  first.logic.SetDown(true);
  Button& late = parent.Add(1);
  EXPECT_TRUE(first.logic.Down());
  EXPECT_FALSE(late.logic.Down());
}

TEST(SpeedButtonLogicTest, ReleaseInsideClicks) {
  struct Row {
    int x, y;
    bool click;
  };
  const Row rows[] = {
      {0, 0, true},       {22, 21, true}, {5, kHeight, true},  // the row below the bottom edge
      {kWidth, 5, false},  // the column right of the edge does not count
      {-1, 5, false},     {5, -1, false}, {5, kHeight + 1, false},
  };
  for (const Row& row : rows) {
    for (int group_index : {0, 1}) {
      SCOPED_TRACE(std::to_string(row.x) + "," + std::to_string(row.y) + " group " +
                   std::to_string(group_index));
      Button button(nullptr);
      button.logic.SetGroupIndex(group_index);
      button.logic.MouseDown(true);
      EXPECT_EQ(button.logic.State(), S::bsDown);
      EXPECT_TRUE(button.logic.IsTracking());
      button.logic.MouseUp(row.x, row.y, kWidth, kHeight);
      EXPECT_FALSE(button.logic.IsTracking());
      EXPECT_EQ(button.clicks, row.click ? 1 : 0);
      EXPECT_EQ(button.logic.Down(), row.click && group_index != 0);
      EXPECT_EQ(button.logic.State(), row.click && group_index != 0 ? S::bsExclusive : S::bsUp);
    }
  }
}

TEST(SpeedButtonLogicTest, TrackingFollowsTheMouse) {
  Button button(nullptr);
  button.logic.MouseDown(false);  // not the left button
  EXPECT_FALSE(button.logic.IsTracking());
  button.logic.MouseMove(30, 5, kWidth, kHeight);  // not tracking: only the hover refresh
  EXPECT_EQ(button.logic.State(), S::bsUp);

  button.logic.MouseDown(true);
  const int paints = button.invalidates;
  button.logic.MouseMove(30, 5, kWidth, kHeight);
  EXPECT_EQ(button.logic.State(), S::bsUp);
  button.logic.MouseMove(31, 5, kWidth, kHeight);  // no change, no repaint
  EXPECT_EQ(button.invalidates, paints + 1);
  button.logic.MouseMove(3, 5, kWidth, kHeight);
  EXPECT_EQ(button.logic.State(), S::bsDown);
  // Leaving while tracking keeps the hot look until the release.
  button.logic.MouseEnter();
  button.logic.MouseLeave();
  EXPECT_TRUE(button.logic.IsHot());

  // A down button of a group stays exclusive wherever the mouse goes.
  Button grouped(nullptr);
  grouped.logic.SetGroupIndex(3);
  grouped.logic.SetDown(true);
  grouped.logic.MouseDown(true);
  EXPECT_EQ(grouped.logic.State(), S::bsExclusive);
  grouped.logic.MouseMove(40, 40, kWidth, kHeight);
  EXPECT_EQ(grouped.logic.State(), S::bsExclusive);
  grouped.logic.MouseUp(40, 40, kWidth, kHeight);
  EXPECT_EQ(grouped.logic.State(), S::bsExclusive);
  EXPECT_EQ(grouped.clicks, 0);
}

TEST(SpeedButtonLogicTest, HotLookAfterRelease) {
  // The mouse capture must be gone when the hover state is refreshed after the release.
  for (bool capture : {false, true}) {
    Button button(nullptr);
    button.capture = capture;
    button.logic.MouseEnter();
    button.logic.MouseDown(true);
    button.logic.MouseUp(5, 5, kWidth, kHeight);
    EXPECT_EQ(button.logic.IsHot(), !capture);
  }
  // Released away from the button: not hot.
  Button away(nullptr);
  away.logic.MouseEnter();
  away.logic.MouseDown(true);
  away.under_cursor = false;
  away.logic.MouseUp(40, 5, kWidth, kHeight);
  EXPECT_FALSE(away.logic.IsHot());
  // A move over a button that is not hot makes it hot.
  away.under_cursor = true;
  away.logic.MouseMove(5, 5, kWidth, kHeight);
  EXPECT_TRUE(away.logic.IsHot());
}

TEST(SpeedButtonLogicTest, DoubleClickIsASecondPress) {
  Button plain(nullptr);
  plain.logic.MouseDown(true);
  plain.logic.MouseUp(5, 5, kWidth, kHeight);
  plain.logic.DoubleClick();
  EXPECT_TRUE(plain.logic.IsTracking());
  plain.logic.MouseUp(5, 5, kWidth, kHeight);
  EXPECT_EQ(plain.clicks, 2);
  EXPECT_EQ(plain.double_clicks, 0);  // OnDblClick only for a down button

  Button grouped(nullptr);
  grouped.logic.SetGroupIndex(1);
  grouped.Press();
  grouped.logic.DoubleClick();
  grouped.logic.MouseUp(5, 5, kWidth, kHeight);
  EXPECT_EQ(grouped.clicks, 2);
  EXPECT_EQ(grouped.double_clicks, 1);
}

TEST(SpeedButtonLogicTest, DisabledState) {
  Button button(nullptr);
  button.logic.SetGroupIndex(1);
  button.logic.SetDown(true);
  button.logic.MouseDown(true);
  button.logic.SetEnabled(false);
  const int repaints = button.repaints;
  button.logic.EnabledChanged();
  EXPECT_EQ(button.repaints, repaints + 1);
  button.logic.UpdateStateForPaint();
  EXPECT_EQ(button.logic.State(), S::bsDisabled);
  EXPECT_FALSE(button.logic.IsTracking());
  // A disabled button neither tracks nor turns hot.
  button.logic.MouseDown(true);
  button.logic.MouseEnter();
  EXPECT_FALSE(button.logic.IsTracking());
  EXPECT_FALSE(button.logic.IsHot());

  button.logic.SetEnabled(true);
  button.logic.EnabledChanged();
  button.logic.UpdateStateForPaint();
  EXPECT_EQ(button.logic.State(), S::bsExclusive);
  EXPECT_TRUE(button.logic.IsHot());  // the mouse is over it

  Button plain(nullptr);
  plain.logic.SetEnabled(false);
  plain.logic.UpdateStateForPaint();
  plain.logic.SetEnabled(true);
  plain.logic.UpdateStateForPaint();
  EXPECT_EQ(plain.logic.State(), S::bsUp);
}

}  // namespace
}  // namespace kv
