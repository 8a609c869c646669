#pragma once
// Input as the views forward it: positions in 96-DPI units of the waveform
// view's client area, keys mapped to the few the edit area knows.
namespace vesk::ui {

enum class MouseButton { Left, Right };
enum class MouseAction { Press, Move, Release, DoubleClick };

struct MouseEvent {
  MouseAction action = MouseAction::Move;
  MouseButton button = MouseButton::Left;
  int x = 0;
  int y = 0;
};

// One wheel step is one notch; positive = away from the user.
struct WheelEvent {
  int steps = 0;
  int x = 0;
  int y = 0;
};

enum class Key { Other, Space, Left, Right, Up, Down, Home, End, Delete, Escape, A, O, Y, Z };

struct KeyEvent {
  Key key = Key::Other;
  bool ctrl = false;
  bool shift = false;
  bool autoRepeat = false;
};

}  // namespace vesk::ui
