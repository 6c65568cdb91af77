#pragma once

class QWidget;

namespace orvenna {

// Moves a top-level window so that its centre is the centre of the primary screen's work
// area; a window larger than the work area is moved no further up or left than its top-left
// corner. UI thread only.
void CentreOnPrimaryScreen(QWidget& window);

}  // namespace orvenna
