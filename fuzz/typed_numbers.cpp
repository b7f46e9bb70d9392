// Fuzzes the numbers a user types: Dravik's reference resistor box (edR) and Sorvane's value
// list (the "R ref" list), driven by a run of edits, keys and picks chosen by the input.
// Properties: edR takes a resistance that is finite, above 0 and can be saved, or keeps the
// old one and is marked; every plain positive number is taken. The value list always edits one
// of its entries; its value is the number the box shows, or stays when the box shows none (the
// box then marked, the list unchanged); every plain decimal number is taken.

#include "dravik/ui/uDravik.h"
#include "fuzz/fuzz_app.h"
#include "fuzz/fuzz_support.h"
#include "sorvane/ui/ufrValues.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using fuzz::Require;

QString Typed(FuzzedDataProvider& in) {
  return QString::fromUtf8(in.ConsumeRandomLengthString(24));
}

// A decimal number in plain notation ("." as separator, optional exponent) whose value is 0 or
// a normal double (neither overflowing nor underflowing): every such text must be taken (with a sign only where `signed` allows it).
bool PlainNumber(const QString& text, bool withSign, double& value) {
  static const QRegularExpression plain(
      QRegularExpression::anchoredPattern("[0-9]+(\\.[0-9]*)?([eE][-+]?[0-9]+)?|"
                                          "\\.[0-9]+([eE][-+]?[0-9]+)?"));
  QString t = text;
  if (withSign && (t.startsWith('-') || t.startsWith('+'))) t.remove(0, 1);
  if (!plain.match(t).hasMatch()) return false;
  errno = 0;
  value = std::strtod(text.toStdString().c_str(), nullptr);
  return errno != ERANGE && std::isfinite(value) && (value == 0 || std::fabs(value) >= DBL_MIN);
}

// ---- Dravik's edR ----

void EditResistor(FuzzedDataProvider& in, dravik::TfmLCR& w, int op) {
  const long double before = w.RefResistance;
  if (op == 0) w.edR->setText(Typed(in));
  else if (op == 1) w.edR->insert(Typed(in));
  else w.edR->backspace();
  const QString text = w.edR->text().trimmed();
  const bool marked = w.edR->property("notANumber").toBool();
  const long double ohms = w.RefResistance;
  double plain = 0;
  if (text.isEmpty() || marked) {
    Require(ohms == before, "text that is not taken keeps the resistance");
    Require(text.isEmpty() != marked, "a box is marked exactly when its text is refused");
    Require(!marked || !w.edR->toolTip().isEmpty(), "a marked box says why");
    // Dravik reads the text in extended precision: a value between the largest double and
    // where strtod rounds to it, such as 1.7976931348623158e308, is beyond what it can save.
    const bool savable = std::strtold(text.toStdString().c_str(), nullptr) <= DBL_MAX;
    Require(!marked || !(PlainNumber(text, false, plain) && plain > 0 && savable),
            "a plain positive number is taken");
    return;
  }
  const double stored = static_cast<double>(ohms);
  Require(std::isfinite(ohms) && ohms > 0, "a resistance taken is finite and above 0");
  Require(std::isfinite(stored) && stored > 0, "a resistance taken can be saved");
  Require(ohms == std::strtold(text.toStdString().c_str(), nullptr), "the resistance is the text's");
}

// ---- Sorvane's value list ----

QStringList Entries(const sorvane::TfrValues& list) {
  QStringList entries;
  for (int k = 0; k < list.cbVal->count(); ++k) entries << list.cbVal->itemText(k);
  return entries;
}

void EditValueList(FuzzedDataProvider& in, sorvane::TfrValues& list, int op) {
  const QStringList before = Entries(list);
  const double value = list.Value();
  QLineEdit* edit = list.cbVal->lineEdit();
  if (op == 0) list.cbVal->setEditText(Typed(in));
  else if (op == 1) edit->insert(Typed(in));
  else if (op == 2) list.cbValKeyDown(Qt::Key_Return);
  else if (op == 3 && !list.cbValKeyDown(Qt::Key_Backspace)) edit->backspace();
  else if (op == 4) {
    const int pick = in.ConsumeIntegralInRange(0, std::max(list.cbVal->count() - 1, 0));
    list.cbVal->setCurrentIndex(pick);
    emit list.cbVal->activated(pick);
  } else if (op == 5) {
    list.cbValExit(); // the user leaves the box
  }
  const QStringList after = Entries(list);
  const int current = list.CurrentIndex();
  Require(!after.isEmpty() && current >= 0 && current < after.size(),
          "the list edits one of its entries");
  const QString shown = edit->text().trimmed();
  double parsed = 0;
  // The reference resistance is a positive number: zero and below are marked like text.
  const bool number = sorvane::ParseValue(shown.toStdString(), parsed) && parsed > 0;
  Require(list.Invalid() == !number, "the box is marked exactly when it shows no positive number");
  double plain = 0;
  Require(number || !PlainNumber(shown, true, plain) || !(plain > 0),
          "a plain positive decimal number is accepted");
  Require(std::isfinite(list.Value()) && list.Value() > 0, "the value in force is a positive number");
  // Typing changes nothing but the box: a value is taken when editing ends.
  if (op <= 1) {
    Require(list.Value() == value, "typing keeps the value in force");
    Require(after == before, "typing leaves the list alone");
    return;
  }
  if (op >= 4 && number) {
    Require(list.Value() == parsed, "the value is the box's number once editing ends");
    Require(after[current] == shown, "the entry edited holds the number as typed");
  }
}

dravik::TfmLCR& Window() {
  // Never destroyed, like the application; never started, since edR needs no sound card.
  static dravik::TfmLCR* window = [] {
    fuzz::StartApplication();
    return new dravik::TfmLCR(fuzz::ScratchFile("Dravik.ini"));
  }();
  return *window;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dravik::TfmLCR& w = Window();
  w.edR->setText("10");
  Require(w.RefResistance == 10, "the resistor box starts at 10 Ohm");
  // The list as the main window sets it up.
  sorvane::TfrValues list;
  list.SetPositiveOnly(true);
  list.ShowValue(1);
  list.SetSection("Rref");
  FuzzedDataProvider in(data, size);
  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    const int op = in.ConsumeIntegralInRange(0, 8);
    if (op < 3) EditResistor(in, w, op);
    else EditValueList(in, list, op - 3);
  }
  return 0;
}
