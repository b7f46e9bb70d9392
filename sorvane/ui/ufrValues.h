#pragma once
// TfrValues: an editable drop-down list of numbers with a history. The user types a value, keeps
// several in the list, picks one, adds an entry with Enter and removes one with Backspace in the
// empty box. Value is the number in force: a typed number is taken when editing ends (Enter,
// leaving the box, a choice from the list), so a half-typed "4.7" of "4.7k" is never used; text
// that is not a number turns red while typed and, when editing ends, gives way to the value in
// force again, so the box always shows the value that is used. Numbers may carry an SI prefix
// ("4.7k", "1M", "100m"). The main window's instance holds the reference resistances ("R ref"),
// which accepts positive numbers only: a reference of zero or below would turn every reading
// into nonsense.

#include <QComboBox>
#include <QFrame>
#include <string>

#include "platform/inifile.h"

namespace sorvane {

// x in general format with at most two significant digits: plain decimal when the rounded value
// lies between 0.0001 and 99 in magnitude, else "1.5E2" style with no plus sign.
std::string FormatTwoDigits(double x);

// The whole text as a decimal number with "." (optional sign and exponent); false otherwise.
bool ParseNumber(const std::string& text, double& value);

// A number as ParseNumber reads it, optionally followed (after at most one space) by one SI
// prefix: p n u µ m k K M G.
bool ParseValue(const std::string& text, double& value);

class TfrValues : public QFrame {
  Q_OBJECT
public:
  explicit TfrValues(QWidget* parent = nullptr);

  void SetSection(const std::string& name) { Section = name; }
  const std::string& SectionName() const { return Section; }
  // Numbers of zero or below count as not a number (red text, Value stays).
  void SetPositiveOnly(bool positive) { PositiveOnly = positive; }
  void ShowValue(double x);
  double Value() const { return FValue; }
  int CurrentIndex() const { return FCurrentIndex; }
  // True while the box shows text that is not an accepted number.
  bool Invalid() const { return FInvalid; }

  void LoadSettings(const platform::TIniFile& ini);
  void SaveSettings(platform::TIniFile& ini) const;

  QComboBox* cbVal;

  // Every edit: the text turns red when it is not a number the list takes.
  void cbValChange();
  // Editing ends: a number is taken into the entry and becomes the value in force; any other
  // text gives way to the value in force.
  void cbValExit();
  // Returns true when the key was handled here (Enter always, Backspace when it removed an entry).
  bool cbValKeyDown(int key);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void SetTextColour(bool invalid);
  bool Accepts(const std::string& text, double& value) const;
  // Takes entry index (its text a number the list accepts) as the value in force.
  void TakeEntry(int index, double value);
  // After loading: the selected entry, or the nearest one before or after it that holds a number.
  int NearestUsableEntry(int index) const;

  int FCurrentIndex = 0;
  double FValue = 0;
  QString FValueText = "0"; // the value in force as it was typed
  std::string Section = "Values";
  bool FInvalid = false;
  bool PositiveOnly = false;
  bool Updating = false;
};

} // namespace sorvane
