#include "ui/AppIcon.h"

namespace orvenna {

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/orvenna/icon/%1x%1/apps/orvenna.png").arg(size));
  return icon;
}

}  // namespace orvenna
