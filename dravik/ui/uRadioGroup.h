#pragma once
// A radio group: a framed box of exclusive choices laid out in columns, with the index of the
// chosen item (-1 for none). Clicked is emitted only when the user picks an item, never when
// the program sets the index.

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace dravik {

class TRadioGroup : public QGroupBox {
  Q_OBJECT
public:
  TRadioGroup(const QStringList& Items, int Columns, QWidget* parent = nullptr);

  int ItemIndex() const { return FButtons->checkedId(); }
  // An index outside the items leaves the selection as it is.
  void SetItemIndex(int Index);
  int Count() const { return static_cast<int>(FButtons->buttons().size()); }
  QAbstractButton* Item(int Index) const { return FButtons->button(Index); }

signals:
  void Clicked();

private:
  QButtonGroup* FButtons;
};

} // namespace dravik
