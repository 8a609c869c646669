#pragma once
// Every child control of the main window in creation order, with its place
// in 96-DPI units for a given client size. Both windows create their controls
// from this table; the layout dump writes what the real window made of it.
// The waveform view takes every height change; the rows above it and the
// status row keep their sizes, and widths stretch the device lists, the
// output-folder field, the size text and the meter.
#include <string>
#include <vector>

namespace vesk::ui {

enum class ControlKind {
  Label,         // static text
  TextView,      // a keyed static text the controller writes (status, clock, …)
  DropDown,      // drop-down list
  Button,
  SplitButton,   // button with a drop-down menu at its right edge
  OwnerButton,   // the record button, painted by the program
  ReadOnlyEdit,
  Wave,          // the waveform view
  Meter,         // the level meter, painted on the main window itself
};

struct LayoutRect {
  int x = 0, y = 0, w = 0, h = 0;
  int Right() const { return x + w; }
  int Bottom() const { return y + h; }
};

struct LayoutControl {
  int id = 0;               // command id, 0 for labels and keyed views
  std::string key;          // "status", "size", "meterInfo", "clock", "editorInfo", "wave", "meter" or ""
  ControlKind kind = ControlKind::Label;
  std::string label;        // initial text
  std::vector<std::string> options;  // drop-down items
  bool largeFont = false;   // the clock
  LayoutRect rect;
};

inline constexpr int kMinClientWidth = 750;
inline constexpr int kMinClientHeight = 600;
inline constexpr int kInitialClientWidth = 800;
inline constexpr int kInitialClientHeight = 600;

// The whole table placed for a client of `width` × `height` units (smaller
// sizes are laid out as the minimum).
std::vector<LayoutControl> MainLayout(int width, int height);

// The entry with this id or key; nullptr when absent.
const LayoutControl* FindControl(const std::vector<LayoutControl>& layout, int id);
const LayoutControl* FindControl(const std::vector<LayoutControl>& layout, const std::string& key);

}  // namespace vesk::ui
