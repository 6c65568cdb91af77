#include "ui/IntegerText.h"

namespace orvenna {

int StrToInt(const QString& text) {
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  if (!ok) {
    throw EConvertError(
        QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
  }
  return value;
}

}  // namespace orvenna
