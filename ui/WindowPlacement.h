#pragma once

class QWidget;

namespace orvenna {

// Moves a top-level window so that its centre is the centre of the primary screen's work
// area. UI thread only.
void CentreOnPrimaryScreen(QWidget& window);

}  // namespace orvenna
