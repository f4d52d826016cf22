#include "ui/SpeedButtonLogic.h"

namespace kv {

bool TSpeedButtonLogic::IsInside(int x, int y, int width, int height) {
  return x >= 0 && x < width && y >= 0 && y <= height;
}

void TSpeedButtonLogic::SetGroupIndex(int value) {
  if (value == group_index_)
    return;
  group_index_ = value;
  ReleaseGroupSiblings();
}

void TSpeedButtonLogic::SetAllowAllUp(bool value) {
  if (value == allow_all_up_)
    return;
  allow_all_up_ = value;
  ReleaseGroupSiblings();
}

void TSpeedButtonLogic::SetDown(bool value) {
  if (group_index_ == 0)
    value = false;
  if (value == down_)
    return;
  // A down button of a group goes up only when another one is pressed, unless all may be up.
  if (down_ && !allow_all_up_)
    return;
  down_ = value;
  if (value) {
    if (state_ == TButtonState::bsUp)
      host_.Invalidate();
    state_ = TButtonState::bsExclusive;
    ReleaseGroupSiblings();
  } else {
    state_ = TButtonState::bsUp;
    host_.Repaint();
  }
}

void TSpeedButtonLogic::ReleaseGroupSiblings() {
  if (group_index_ != 0)
    host_.BroadcastButtonPressed(group_index_, this);
}

void TSpeedButtonLogic::MouseDown(bool left_button) {
  if (!left_button || !enabled_)
    return;
  if (!down_) {
    state_ = TButtonState::bsDown;
    host_.Invalidate();
  }
  is_tracking_ = true;
}

void TSpeedButtonLogic::MouseMove(int x, int y, int width, int height) {
  if (is_tracking_) {
    TButtonState next = down_ ? TButtonState::bsExclusive : TButtonState::bsUp;
    if (IsInside(x, y, width, height) && !down_)
      next = TButtonState::bsDown;
    if (next != state_) {
      state_ = next;
      host_.Invalidate();
    }
  } else if (!is_hot_) {
    RefreshHoverState();
  }
}

void TSpeedButtonLogic::MouseUp(int x, int y, int width, int height) {
  if (!is_tracking_)
    return;
  is_tracking_ = false;
  const bool inside = IsInside(x, y, width, height);
  if (group_index_ == 0) {
    state_ = TButtonState::bsUp;
    is_hot_ = false;
    if (inside)
      host_.Invalidate();
  } else if (inside) {
    SetDown(!down_);
    if (down_)
      host_.Repaint();
  } else {
    // Released away from the button: it shows its lasting state again, also when no mouse move
    // reported the way out before the release.
    state_ = down_ ? TButtonState::bsExclusive : TButtonState::bsUp;
    host_.Repaint();
  }
  if (inside)
    host_.Click();
  RefreshHoverState();
}

void TSpeedButtonLogic::DoubleClick() {
  MouseDown(true);
  if (down_)
    host_.DblClick();
}

void TSpeedButtonLogic::MouseEnter() {
  if (is_hot_ || !enabled_ || host_.AnyWindowHasCapture())
    return;
  is_hot_ = true;
  host_.Invalidate();
}

void TSpeedButtonLogic::MouseLeave() {
  if (!is_hot_ || !enabled_ || is_tracking_)
    return;
  is_hot_ = false;
  host_.Invalidate();
}

void TSpeedButtonLogic::EnabledChanged() {
  RefreshHoverState();
  host_.Repaint();
}

void TSpeedButtonLogic::ButtonPressed(int group_index, const TSpeedButtonLogic& sender) {
  if (group_index != group_index_ || &sender == this)
    return;
  if (sender.down_ && down_) {
    down_ = false;
    state_ = TButtonState::bsUp;
    host_.Invalidate();
  }
  allow_all_up_ = sender.allow_all_up_;
}

void TSpeedButtonLogic::RefreshHoverState() {
  if (!enabled_)
    return;
  const bool under_cursor = host_.IsUnderMouseCursor();
  is_hot_ = !under_cursor;
  if (under_cursor)
    MouseEnter();
  else
    MouseLeave();
}

void TSpeedButtonLogic::UpdateStateForPaint() {
  if (!enabled_) {
    state_ = TButtonState::bsDisabled;
    is_tracking_ = false;
  } else if (state_ == TButtonState::bsDisabled) {
    state_ = down_ && group_index_ != 0 ? TButtonState::bsExclusive : TButtonState::bsUp;
  }
}

}  // namespace kv
