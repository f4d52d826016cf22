// The mouse, group and Down behaviour of TZNTSpeedButtonEx as a state machine without windows.
// The button's window feeds it mouse and notification events; everything the machine needs from
// the outside world (repainting, clicking, the parent's broadcast, the mouse position) goes
// through TSpeedButtonHost, so a test can drive several buttons of one group on any platform.
#pragma once

#include "ui/ButtonLayout.h"

namespace kv {

class TSpeedButtonLogic;

class TSpeedButtonHost {
 public:
  virtual ~TSpeedButtonHost() = default;
  virtual void Invalidate() = 0;  // repaint when the message queue is idle
  virtual void Repaint() = 0;     // repaint now
  virtual void Click() = 0;       // OnClick, or the action's execution
  virtual void DblClick() = 0;    // OnDblClick
  // The parent sends the button-pressed message to all its controls; nothing without a parent.
  virtual void BroadcastButtonPressed(int group_index, const TSpeedButtonLogic* sender) = 0;
  virtual bool IsUnderMouseCursor() = 0;   // the control under the mouse cursor is this button
  virtual bool AnyWindowHasCapture() = 0;  // or the button is being dragged
};

class TSpeedButtonLogic {
 public:
  explicit TSpeedButtonLogic(TSpeedButtonHost& host) : host_(host) {}

  int GroupIndex() const { return group_index_; }
  bool Down() const { return down_; }
  bool AllowAllUp() const { return allow_all_up_; }
  bool IsTracking() const { return is_tracking_; }
  bool IsHot() const { return is_hot_; }
  bool Enabled() const { return enabled_; }
  TButtonState State() const { return state_; }

  void SetGroupIndex(int value);
  void SetAllowAllUp(bool value);
  void SetDown(bool value);
  // Stores the value; the caller then calls EnabledChanged.
  void SetEnabled(bool value) { enabled_ = value; }

  // x and y in client coordinates; width and height of the client area.
  void MouseDown(bool left_button);
  void MouseMove(int x, int y, int width, int height);
  void MouseUp(int x, int y, int width, int height);
  // A double click of the left button counts as a press; OnDblClick runs when the button is down.
  void DoubleClick();
  void MouseEnter();
  void MouseLeave();
  void EnabledChanged();
  // The button-pressed message of the parent's broadcast.
  void ButtonPressed(int group_index, const TSpeedButtonLogic& sender);
  // Makes the hot look follow the mouse by sending the button the notification of where the
  // mouse is, after first setting IsHot to the opposite so that the notification acts.
  void RefreshHoverState();
  // Step one of every paint: the drawing state follows Enabled and Down.
  void UpdateStateForPaint();

  // The point is inside for 0 <= x < width and 0 <= y <= height (the row below the bottom edge
  // still counts).
  static bool IsInside(int x, int y, int width, int height);

 private:
  void ReleaseGroupSiblings();

  TSpeedButtonHost& host_;
  int group_index_ = 0;
  bool down_ = false;
  bool is_tracking_ = false;
  bool allow_all_up_ = false;
  bool is_hot_ = false;
  bool enabled_ = true;
  TButtonState state_ = TButtonState::bsUp;
};

}  // namespace kv
