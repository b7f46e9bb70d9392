#include "dravik/ui/uRadioGroup.h"

#include <QGridLayout>
#include <QRadioButton>

namespace dravik {

TRadioGroup::TRadioGroup(const QStringList& Items, int Columns, QWidget* parent)
    : QGroupBox(parent), FButtons(new QButtonGroup(this)) {
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 0, 4, 0);
  grid->setHorizontalSpacing(4);
  for (int i = 0; i < Items.size(); ++i) {
    auto* button = new QRadioButton(Items[i], this);
    FButtons->addButton(button, i);
    grid->addWidget(button, i / Columns, i % Columns);
  }
  connect(FButtons, &QButtonGroup::idClicked, this, [this](int) { emit Clicked(); });
}

void TRadioGroup::SetItemIndex(int Index) {
  if (QAbstractButton* button = FButtons->button(Index)) button->setChecked(true);
}

} // namespace dravik
