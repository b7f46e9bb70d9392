#include "dravik/ui/uDravikTour.h"

#include "dravik/measure/uReadout.h"
#include "dravik/ui/uDravik.h"
#include "dravik/ui/uRadioGroup.h"
#include "platform/messages.h"
#include "platform/vmbox.h"

#include <QComboBox>
#include <QPushButton>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace dravik {
namespace {

namespace vmbox = platform::vmbox;
using namespace std::chrono_literals;

const char* const ShortedBoxName = "Virtual box: shorted Zx";
constexpr double MeasuringSeconds = 10;

using platform::PumpUntil;

// A box with nothing between its terminals, and one whose leads are shorted at their far end:
// the fixture's open and short steps run on them.
bool IsOpenBox(size_t box) { return vmbox::BoxCircuit(box).Open; }
bool IsShortedLeadsBox(size_t box) {
  const vmbox::TCircuit c = vmbox::BoxCircuit(box);
  return !c.Shorted && !c.Open && c.R == 0 && c.L == 0 && c.C == 0 && c.HasLeads();
}

// The first box that holds a component (not the shorted one, nor a fixture step's box);
// BoxCount() when there is none.
size_t FirstComponentBox() {
  for (size_t b = 0; b < vmbox::BoxCount(); ++b) {
    if (vmbox::BoxName(b) != ShortedBoxName && !IsOpenBox(b) && !IsShortedLeadsBox(b)) return b;
  }
  return vmbox::BoxCount();
}

// The first box that `is` says is one, BoxCount() when there is none.
size_t FirstBox(bool (*is)(size_t)) {
  for (size_t b = 0; b < vmbox::BoxCount(); ++b) {
    if (is(b)) return b;
  }
  return vmbox::BoxCount();
}

// "result: R=... uR=... L=... uL=..." in full precision; neither L nor C for a reading that
// shows no reactance above the noise, "nan" for an uncertainty that is not known.
std::string ResultLine(const TLCRFitResult& fit) {
  const auto number = [](long double x) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(x));
    return std::string(text);
  };
  const auto u = [&](long double x) { return fit.HasUncertainty ? number(x) : std::string("nan"); };
  std::string line = "result: R=" + number(fit.R) + " uR=" + u(fit.UR);
  if (!ReadsAsResistor(fit)) {
    if (fit.Kind == TReactanceKind::Inductance)
      line += " L=" + number(fit.Value) + " uL=" + u(fit.UValue);
    else if (fit.Kind == TReactanceKind::Capacitance)
      line += " C=" + number(fit.Value) + " uC=" + u(fit.UValue);
  }
  // The parallel resistance, D and Q of the fitted model at the strongest frequency.
  const long double x = ReadsAsResistor(fit) ? 0 : fit.Reactance(TwoPi * fit.Strongest.Frequency);
  return line + " Rp=" + number((fit.R * fit.R + x * x) / fit.R) + " D=" +
         number(fit.R / std::fabs(x)) + " Q=" + number(std::fabs(x) / fit.R);
}

// Both devices have closed (device settings change only while a device is idle).
bool DevicesIdle(const TfmLCR& w) {
  return w.SignalOut && w.SignalIn && !w.SignalOut->WaveOut->Active && !w.SignalIn->WaveIn->Active;
}

// Picks a box for both the output and the input, as a user does in the two lists, once both
// devices are idle. False when the lists do not show the box afterwards.
bool SelectBox(TfmLCR& w, const std::string& name) {
  PumpUntil([&] { return DevicesIdle(w); }, 30s);
  const int out = w.cbOut->findText(QString::fromStdString(name));
  const int in = w.cbIn->findText(QString::fromStdString(name));
  if (out < 0 || in < 0) return false;
  w.cbOut->setCurrentIndex(out);
  w.cbOutChange();
  w.cbIn->setCurrentIndex(in);
  w.cbInChange();
  return w.cbOut->currentIndex() == out && w.cbIn->currentIndex() == in;
}

class TTour {
public:
  TTour(TfmLCR& window, std::ostream& out) : W(window), Out(out) {
    QObject::connect(&W, &TfmLCR::MessageAdded, [this](const QString& text, bool info) {
      Out << (info ? "log: " : "log (error): ") << text.toStdString() << '\n';
      Lines.push_back(text.toStdString());
      if (!info) Errors.push_back(text.toStdString());
    });
    QObject::connect(&W, &TfmLCR::ResultShown, [this] {
      ++Results;
      Out << W.lblR->text().toStdString() << '\n' << W.lblZ->text().toStdString() << '\n';
      if (W.Analysis.LastFit().HasResistance) Out << ResultLine(W.Analysis.LastFit()) << '\n';
    });
  }

  int Run() {
    if (!PumpUntil([this] { return W.StartupFinished(); }, 30s) || !W.btnStart->isEnabled())
      return Fail("the window did not start up");
    if (!Calibrate()) {
      if (!Logged("Calibration failed.")) return Fail("the calibration did not finish");
      // What the window said against the calibration, as it said it.
      for (const std::string& line : Errors) {
        if (line != "Calibration failed.") Out << "refused: " << line << '\n';
      }
      W.close();
      return 2;
    }
    if (!FixtureSteps()) return Fail("a fixture step did not finish");
    if (!Measure()) return Fail("no measurement result");
    const bool saved = W.grab().save("Dravik.png");
    Out << (saved ? "Screenshot written: Dravik.png\n" : "Could not write Dravik.png\n");
    Out << "Closing the window:\n";
    W.close();
    return saved ? 0 : 1;
  }

private:
  bool Logged(const std::string& text) const {
    for (const auto& line : Lines) {
      if (line == text) return true;
    }
    return false;
  }

  int Fail(const std::string& why) {
    Out << "Tour ended early: " << why << ".\n";
    W.close();
    return 1;
  }

  // On the shorted jig, or on the box that TOUR_CALIBRATION_BOX names, to show how the window
  // refuses a calibration that cannot be one.
  bool Calibrate() {
    const char* named = std::getenv("TOUR_CALIBRATION_BOX");
    const std::string box = named && *named ? named : ShortedBoxName;
    if (!SelectBox(W, box)) return false;
    Out << "Calibrating on: " << box << '\n';
    Errors.clear();
    W.rgRunMode->Item(0)->click();
    W.btnStart->click();
    return PumpUntil([this] {
             return Logged("Calibration done.") || Logged("Calibration aborted.") ||
                    Logged("Calibration failed.");
           }, 300s) &&
           Logged("Calibration done.");
  }

  // The reference resistor of the box, typed as a user types it.
  void TypeReference(size_t box) {
    char rref[40];
    std::snprintf(rref, sizeof rref, "%.15g", vmbox::ReferenceResistance(box));
    W.edR->setText(rref);
  }

  // The short step on a box whose leads are shorted, then the open step on an open box, where
  // the card has them.
  bool FixtureSteps() {
    const struct {
      bool (*Is)(size_t);
      QPushButton* TfmLCR::*Button;
      const char* Done;
    } steps[] = {{IsShortedLeadsBox, &TfmLCR::btnShort, "Short measured: "},
                 {IsOpenBox, &TfmLCR::btnOpen, "Open measured: "}};
    for (const auto& step : steps) {
      const size_t box = FirstBox(step.Is);
      if (box >= vmbox::BoxCount()) continue;
      const std::string name = vmbox::BoxName(box);
      if (!SelectBox(W, name)) return false;
      TypeReference(box);
      Out << "Fixture step on: " << name << '\n';
      const size_t before = Lines.size();
      (W.*step.Button)->click();
      const bool done = PumpUntil([&] {
        for (size_t i = before; i < Lines.size(); ++i)
          if (Lines[i].rfind(step.Done, 0) == 0) return W.btnStart->text() == "Start";
        return false;
      }, 300s);
      if (!done) return false;
    }
    return true;
  }

  bool Measure() {
    const size_t index = FirstComponentBox();
    if (index >= vmbox::BoxCount()) return false;
    const std::string box = vmbox::BoxName(index);
    if (!SelectBox(W, box)) return false;
    TypeReference(index);
    Out << "Measuring on: " << box << " (" << MeasuringSeconds << " s of audio)\n";
    W.btnStart->click();
    const double start = vmbox::AudioSeconds();
    PumpUntil([&] { return vmbox::AudioSeconds() - start >= MeasuringSeconds; }, 600s);
    W.btnStart->click();
    PumpUntil([this] { return W.btnStart->text() == "Start"; }, 30s);
    return Results > 0;
  }

  TfmLCR& W;
  std::ostream& Out;
  std::vector<std::string> Lines;
  std::vector<std::string> Errors; // the error lines since the calibration started
  int Results = 0;
};

} // namespace

void PrepareTour() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("VMBOX_SPEED", "fast", 1);
  setenv("VMBOX_ONLY", "1", 1);
}

int RunTour(TfmLCR& Window, std::ostream& Out) {
  TTour tour(Window, Out);
  return tour.Run();
}

} // namespace dravik
