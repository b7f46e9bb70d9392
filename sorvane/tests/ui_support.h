#pragma once
// Shared by the window tests: one offscreen QApplication, the virtual card in fast mode, a
// scratch folder for the settings and results files, and a window wired to collect its messages.

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/gui/uChartStyle.h"
#include "platform/vmbox.h"
#include "platform/tests/support/app.h"
#include "sorvane/ui/uSorvaneChart.h"
#include "sorvane/ui/ufmSorvane.h"
#include "sorvane/ui/uSorvaneTour.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace uitest {

namespace vmbox = platform::vmbox;

// The virtual boxes alone, whatever sound cards the machine has.
inline QApplication& App() {
  return static_cast<QApplication&>(
      testsupport::Application({testsupport::TAppKind::Widgets, true, "sorvane_ui_test"}));
}

// A fresh folder under the system's temporary folder, removed with the object.
struct TScratch {
  std::filesystem::path Dir;
  TScratch() {
    char pattern[] = "/tmp/sorvane_ui_XXXXXX";
    Dir = mkdtemp(pattern);
  }
  ~TScratch() { std::filesystem::remove_all(Dir); }
  sorvane::TSorvaneFiles Files() const { return {Dir / "Sorvane.ini", Dir / "Sorvane.txt"}; }
};

// The default boxes on a fast card: 3.3 Ohm + 1 mH, 0.2 Ohm + 10 uF, 47 Ohm, shorted.
inline void DefaultCard() {
  App();
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::Fast);
}

// A shown window whose messages are collected instead of shown in boxes.
struct TWindow {
  std::unique_ptr<sorvane::TForm1> Form;
  std::vector<std::string> Messages;
  explicit TWindow(const sorvane::TSorvaneFiles& files) {
    App();
    Form = std::make_unique<sorvane::TForm1>(files);
    Form->OnMessage = [this](const std::string& text) { Messages.push_back(text); };
    Form->show();
    if (!QTest::qWaitForWindowExposed(Form.get())) ADD_FAILURE() << "the window was not shown";
  }
  ~TWindow() {
    if (Form && Form->isVisible()) Form->close();
  }
  sorvane::TForm1* operator->() const { return Form.get(); }
};

constexpr int Timeout = 60000;
constexpr const char* Shorted = "Virtual box: shorted Zx";

// Counts the blocks the window draws.
struct TBlockCounter {
  int Blocks = 0;
  explicit TBlockCounter(sorvane::TForm1& form) {
    auto draw = form.SignalIn().OnBlock;
    form.SignalIn().OnBlock = [this, draw](sorvane::TWaveData& block) {
      draw(block);
      ++Blocks;
    };
  }
  bool WaitFor(int more) {
    const int target = Blocks + more;
    return sorvane::PumpUntil([&] { return Blocks >= target; }, Timeout);
  }
};

// The level check on output box `out` and input box `in`, then "Continue" once it has run a
// while (`checkBlocks` blocks).
inline void LevelCheckAndContinue(TWindow& w, TBlockCounter& blocks, size_t out, size_t in,
                                  int checkBlocks = 4) {
  w->frWaveSetup1->cbDeviceOut->setCurrentIndex(static_cast<int>(vmbox::DeviceId(out, vmbox::TPort::Output)));
  w->frWaveSetup1->cbDeviceIn->setCurrentIndex(static_cast<int>(vmbox::DeviceId(in, vmbox::TPort::Input)));
  w->PageControl1->setCurrentWidget(w->tsProcessing);
  w->SetModeItem(0);
  w->btnStartStop->click();
  ASSERT_TRUE(w->Running());
  ASSERT_TRUE(blocks.WaitFor(checkBlocks));
  w->btnCalibration->click();
}

// Level check and "Continue" on the shorted box, then Stop: as a user calibrates.
inline void Calibrate(TWindow& w, TBlockCounter& blocks) {
  const auto shorted = static_cast<size_t>(sorvane::FindBox(Shorted));
  LevelCheckAndContinue(w, blocks, shorted, shorted, 3);
  ASSERT_TRUE(blocks.WaitFor(5));
  ASSERT_TRUE(sorvane::PumpUntil([&] { return w->lbCalibration->text().startsWith("Press Stop"); }, Timeout));
  ASSERT_TRUE(blocks.WaitFor(2));
  w->btnStartStop->click();
}

// R and L or C from the series of "Z graph + LCR": R is Series3's value, L or C the median of
// Series4's curve of the component's value per bin, in the unit its axis is titled with.
struct TLcr {
  double R, L, C;
};
inline TLcr Measured(sorvane::TForm1& form) {
  if (form.ChartData().Points(2).isEmpty()) return {NAN, NAN, NAN};
  const QPointF r = form.ChartData().Points(2).front();
  std::vector<double> values;
  for (const QPointF& p : form.ChartData().Points(3)) values.push_back(p.y());
  if (values.empty()) return {r.y(), 0, 0};
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  const QString unit = platform::UnitOf(form.ChartData().SeriesList()[3]);
  const QString prefixes = "pnµm";
  const int prefix = unit.size() == 2 ? static_cast<int>(prefixes.indexOf(unit[0])) : 4;
  const double value = values[values.size() / 2] * std::pow(1000.0, prefix - 4);
  return {r.y(), unit.endsWith("H") ? value : 0, unit.endsWith("F") ? value : 0};
}

} // namespace uitest
