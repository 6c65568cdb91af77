#pragma once

#include <QIcon>

namespace orvenna {

// Orvenna's icon, the one the desktop's menu shows, in each size built into the program.
QIcon AppIcon();

}  // namespace orvenna
