#pragma once

#include <string>

#include "platform/Geometry.h"

namespace orvenna {

// The user's last answer to the desktop's screen chooser, kept in a small file between runs of
// both programs: the restore token that lets the desktop share the same monitor again without
// asking, and that monitor's size (the screen's size before it is shared again).
struct KeptChoice {
  std::string restoreToken;
  Size monitorSize;
};

// Where the choice is kept: $XDG_CONFIG_HOME/orvenna/screen-choice, else
// $HOME/.config/orvenna/screen-choice; empty when neither variable is set.
std::string DefaultKeptChoicePath();

// Reads the kept choice; an empty one when the file is missing or damaged.
KeptChoice LoadKeptChoice(const std::string& path);
// Writes it, readable by the user alone, replacing the old file whole (never half-written).
// False when it cannot be written.
bool SaveKeptChoice(const std::string& path, const KeptChoice& choice);

}  // namespace orvenna
