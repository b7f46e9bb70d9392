#include "platform/gui/uNamedButton.h"

namespace platform {

QPushButton* NamedButton(const char* name, const char* caption, const char* tip, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setToolTip(tip);
  return button;
}

} // namespace platform
