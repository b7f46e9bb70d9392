#include "sorvane/ui/ufrValues.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sorvane {

std::string FormatTwoDigits(double x) {
  if (!std::isfinite(x)) return "0";
  char text[40];
  std::snprintf(text, sizeof text, "%.1E", x);
  const char* e = std::strchr(text, 'E');
  const int exponent = e ? std::atoi(e + 1) : 0;
  const double rounded = std::strtod(text, nullptr);
  if (rounded == 0) return "0";
  if (exponent >= -4 && exponent <= 1) {
    std::snprintf(text, sizeof text, "%.2G", rounded);
    return text;
  }
  // Mantissa without trailing zeros, exponent without plus sign or leading zeros.
  std::string mantissa(text, static_cast<size_t>(e - text));
  while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
  if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
  return mantissa + "E" + std::to_string(exponent);
}

bool ParseNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = first + text.size();
  if (*first == '+') ++first; // from_chars takes a minus sign only
  if (first == last || *first == '+' || (*first == '-' && first != text.data())) return false;
  double v = 0;
  const auto [end, error] = std::from_chars(first, last, v, std::chars_format::general);
  if (error != std::errc() || end != last || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool ParseValue(const std::string& text, double& value) {
  static const struct {
    const char* Prefix;
    double Scale;
  } Prefixes[] = {{"p", 1e-12}, {"n", 1e-9}, {"u", 1e-6}, {"\u00B5", 1e-6}, {"m", 1e-3},
                  {"k", 1e3},   {"K", 1e3},  {"M", 1e6},  {"G", 1e9}};
  if (ParseNumber(text, value)) return true;
  for (const auto& p : Prefixes) {
    const size_t len = std::strlen(p.Prefix);
    if (text.size() <= len || text.compare(text.size() - len, len, p.Prefix) != 0) continue;
    std::string number = text.substr(0, text.size() - len);
    if (!number.empty() && number.back() == ' ') number.pop_back();
    double v = 0;
    if (!ParseNumber(number, v) || !std::isfinite(v * p.Scale)) return false;
    value = v * p.Scale;
    return true;
  }
  return false;
}

TfrValues::TfrValues(QWidget* parent) : QFrame(parent) {
  setObjectName("frValues");
  cbVal = new QComboBox(this);
  cbVal->setObjectName("cbVal");
  cbVal->setEditable(true);
  cbVal->setInsertPolicy(QComboBox::NoInsert);
  cbVal->setCompleter(nullptr);
  cbVal->addItem("0");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(cbVal);
  cbVal->setCurrentIndex(0);
  // A key pressed on the focused combo box reaches its line edit without passing that edit's
  // filters: both are watched.
  cbVal->installEventFilter(this);
  cbVal->lineEdit()->installEventFilter(this);
  connect(cbVal, &QComboBox::editTextChanged, this, [this] { cbValChange(); });
  connect(cbVal, &QComboBox::activated, this, [this] { cbValExit(); });
  connect(cbVal->lineEdit(), &QLineEdit::editingFinished, this, [this] { cbValExit(); });
}

void TfrValues::ShowValue(double x) {
  Updating = true;
  cbVal->setEditText(QString::fromStdString(FormatTwoDigits(x)));
  Updating = false;
  cbValExit();
}

bool TfrValues::Accepts(const std::string& text, double& value) const {
  return ParseValue(text, value) && (!PositiveOnly || value > 0);
}

void TfrValues::SetTextColour(bool invalid) {
  FInvalid = invalid;
  QPalette p = cbVal->lineEdit()->palette();
  p.setColor(QPalette::Text, invalid ? QColor(255, 0, 0) : palette().color(QPalette::Text));
  cbVal->lineEdit()->setPalette(p);
}

void TfrValues::cbValChange() {
  if (Updating) return;
  if (cbVal->currentIndex() >= 0) FCurrentIndex = cbVal->currentIndex();
  double v = 0;
  SetTextColour(!Accepts(cbVal->lineEdit()->text().trimmed().toStdString(), v));
}

void TfrValues::cbValExit() {
  if (Updating) return;
  QLineEdit* edit = cbVal->lineEdit();
  const QString text = edit->text();
  const std::string t = text.trimmed().toStdString();
  const int caret = edit->cursorPosition();
  if (cbVal->currentIndex() >= 0) FCurrentIndex = cbVal->currentIndex();
  double v = 0;
  Updating = true;
  if (Accepts(t, v)) {
    cbVal->setItemText(FCurrentIndex, QString::fromStdString(t));
    cbVal->setCurrentIndex(FCurrentIndex);
    edit->setText(text);
    edit->setCursorPosition(std::min(caret, static_cast<int>(text.size())));
    edit->deselect();
    FValue = v;
    FValueText = QString::fromStdString(t);
  } else {
    edit->setText(FValueText); // the box shows the value that is used
  }
  Updating = false;
  SetTextColour(false);
}

void TfrValues::TakeEntry(int index, double value) {
  FCurrentIndex = index;
  Updating = true;
  cbVal->setCurrentIndex(index);
  cbVal->setEditText(cbVal->itemText(index));
  Updating = false;
  FValue = value;
  FValueText = cbVal->itemText(index).trimmed();
  SetTextColour(false);
}

int TfrValues::NearestUsableEntry(int index) const {
  double v = 0;
  for (int d = 0; d < cbVal->count(); ++d) {
    for (const int k : {index - d, index + d}) {
      if (k >= 0 && k < cbVal->count() && Accepts(cbVal->itemText(k).trimmed().toStdString(), v)) return k;
    }
  }
  return -1;
}

bool TfrValues::cbValKeyDown(int key) {
  if (key == Qt::Key_Backspace) {
    if (!cbVal->lineEdit()->text().isEmpty() || cbVal->count() <= 1) return false;
    SetTextColour(false);
    Updating = true;
    cbVal->removeItem(FCurrentIndex);
    if (FCurrentIndex > 0) --FCurrentIndex;
    cbVal->setCurrentIndex(FCurrentIndex);
    cbVal->setEditText(cbVal->itemText(FCurrentIndex));
    Updating = false;
    cbValExit();
    return true;
  }
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    // The typed value is taken; the new entry starts as a copy of it, selected, so that typing
    // replaces it while the value in force stays the one shown.
    cbValExit();
    ++FCurrentIndex;
    Updating = true;
    cbVal->insertItem(FCurrentIndex, FValueText);
    cbVal->setCurrentIndex(FCurrentIndex);
    cbVal->setEditText(FValueText);
    cbVal->lineEdit()->selectAll();
    Updating = false;
    SetTextColour(false);
    return true;
  }
  return false;
}

bool TfrValues::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == cbVal || watched == cbVal->lineEdit()) && event->type() == QEvent::KeyPress)
    return cbValKeyDown(static_cast<QKeyEvent*>(event)->key());
  return QFrame::eventFilter(watched, event);
}

// Far more entries than anyone keeps in the list; a damaged "Count" of millions would otherwise
// keep the window from ever appearing.
constexpr int MaxLoadedEntries = 1000;

void TfrValues::LoadSettings(const platform::TIniFile& ini) {
  const int n = std::min(ini.ReadInteger(Section, "Count", 0), MaxLoadedEntries);
  if (n > 0) {
    Updating = true;
    cbVal->clear();
    for (int k = 0; k < n; ++k)
      cbVal->addItem(QString::fromStdString(ini.ReadString(Section, "Value" + std::to_string(k), "0")));
    const int index = ini.ReadInteger(Section, "CurrentIndex", 0);
    // An index outside the list selects nothing; the box then edits the first entry.
    FCurrentIndex = index >= 0 && index < n ? index : 0;
    cbVal->setCurrentIndex(FCurrentIndex);
    Updating = false;
    // An entry that holds no number (an empty one an earlier version saved after Enter) is
    // never used: the nearest one that does is taken; with none, the value in force stays, and
    // the entry the box edits takes it, so the list holds what the box shows and what is used.
    const int usable = NearestUsableEntry(FCurrentIndex);
    double v = 0;
    if (usable >= 0 && Accepts(cbVal->itemText(usable).trimmed().toStdString(), v)) {
      TakeEntry(usable, v);
    } else {
      Updating = true;
      cbVal->setItemText(FCurrentIndex, FValueText);
      cbVal->setEditText(FValueText);
      Updating = false;
      SetTextColour(false);
    }
    return;
  }
  cbValExit();
}

void TfrValues::SaveSettings(platform::TIniFile& ini) const {
  ini.EraseSection(Section);
  ini.WriteInteger(Section, "Count", cbVal->count());
  for (int k = 0; k < cbVal->count(); ++k)
    ini.WriteString(Section, "Value" + std::to_string(k), cbVal->itemText(k).toStdString());
  ini.WriteInteger(Section, "CurrentIndex", std::max(cbVal->currentIndex(), 0));
}

} // namespace sorvane
