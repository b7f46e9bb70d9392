// The window's response run and what it does for the readings: on the card with every
// imperfection, the calibration measures the inputs' response, keeps it in the settings file,
// and coils, capacitors and resistors then read within their uncertainties.
#include "dravik/measure/uReadout.h"
#include "dravik/tests/ui_support.h"
#include "dravik/ui/uDravikTour.h"

#include <QLineEdit>

#include <regex>
#include <sstream>

namespace uitest {
namespace {

struct TPart {
  double R, L, C, Rref;
};

// The default card with these jigs and the shorted one.
std::vector<TBoxConfig> Boxes(const std::vector<TPart>& parts) {
  std::vector<TBoxConfig> boxes;
  for (const TPart& p : parts) {
    TBoxConfig box;
    box.Circuit = {p.R, p.L, p.C, p.Rref, false, false};
    box.Name = vmbox::BoxName(box.Circuit);
    boxes.push_back(box);
  }
  boxes.push_back(vmbox::ShortedBox(boxes.front().Card));
  return boxes;
}

struct ResponseRun : TWindowTest {
  void SetUp() override {
    TWindowTest::SetUp();
    vmbox::Reinitialise(Boxes(Parts), vmbox::TSpeed::Fast);
  }

  // Measures a box with its own reference resistor and returns the last of three results.
  dravik::TLCRFitResult Read(size_t box) {
    SelectBox(box);
    W->edR->setText(QString::number(Parts[box].Rref));
    EXPECT_TRUE(Measure(3));
    StopRun();
    return W->Analysis.LastFit();
  }

  // The largest gain and phase difference the log reports.
  std::pair<double, double> Found() const {
    const std::regex pattern("Response calibration: the inputs differ by up to ([0-9.]+) % in "
                             "gain and ([0-9.]+) mrad in phase\\.");
    for (const auto& [text, info] : Log) {
      std::smatch m;
      if (info && std::regex_match(text, m, pattern)) return {std::stod(m[1]), std::stod(m[2])};
    }
    return {NAN, NAN};
  }

  const std::vector<TPart> Parts = {{1.5, 2.2e-3, 0, 10},  {40, 0.47, 0, 1000},
                                    {0.5, 0, 22e-9, 1e4},  {0.05, 0, 1e-4, 10},
                                    {47, 0, 0, 100}};
};

TEST_F(ResponseRun, TheCalibrationMeasuresTheInputsAndTheReadingsFollowThem) {
  Open();
  ASSERT_TRUE(Calibrate());
  EXPECT_TRUE(Logged("Response calibration...", true));
  // AC coupling 3.2 / 3.6 Hz: 0.4 Hz / 47 Hz at the lowest tone; the gains are calibrated.
  const auto [gain, phase] = Found();
  EXPECT_LT(gain, 0.5);
  EXPECT_GT(phase, 5);
  EXPECT_LT(phase, 12);

  for (size_t b = 0; b < Parts.size(); ++b) {
    const TPart& p = Parts[b];
    SCOPED_TRACE(vmbox::BoxName(b));
    const dravik::TLCRFitResult fit = Read(b);
    ASSERT_TRUE(fit.HasUncertainty);
    const double reactance = p.L > 0 ? p.L : p.C;
    if (reactance == 0) {
      EXPECT_NEAR(fit.R / p.R, 1, 2e-4);
      EXPECT_TRUE(dravik::ReadsAsResistor(fit));
      continue;
    }
    EXPECT_NEAR(fit.R, p.R, std::max({0.01 * p.R, 3e-3, 3 * static_cast<double>(fit.UR)}));
    EXPECT_NEAR(fit.Value / reactance, 1, 5e-4);
    EXPECT_EQ(fit.Kind, p.L > 0 ? dravik::TReactanceKind::Inductance
                                : dravik::TReactanceKind::Capacitance);
    EXPECT_NE(Text(W->lblReadout).find(p.L > 0 ? "\nL = " : "\nC = "), std::string::npos);
  }
  EXPECT_TRUE(W->close());
  EXPECT_NE(ReadSettings().find("ResponseRate=48000"), std::string::npos);

  // The next start reads the response back: the coil's winding resistance stays right.
  W.reset();
  Log.clear();
  Open();
  const dravik::TLCRFitResult fit = Read(1);
  EXPECT_NEAR(fit.R, 40, std::max(0.4, 3 * static_cast<double>(fit.UR)));

  // At another rate the response does not apply, and the log says how to get one.
  W->cbSampling->setCurrentIndex(W->cbSampling->findText("96000"));
  W->cbBitsSamplingChange();
  ASSERT_TRUE(Measure(1));
  StopRun();
  EXPECT_TRUE(Logged("The response calibration was made at 48000 Hz; calibrate again at 96000 Hz "
                     "to correct the inputs' phase.", false));
  // The boxes are positions of one card's jig: only the other rate is another place.
  const std::string elsewhere = "The calibration was made on \"Virtual card\" at 48000 Hz, not on "
                                "the card and rate in use: calibrate again for exact readings.";
  EXPECT_EQ(Count(elsewhere), 1u);
  EXPECT_TRUE(W->close());
  EXPECT_NE(ReadSettings().find("CalibratedRate=48000"), std::string::npos);
}

TEST_F(ResponseRun, AJigThatIsNotShortedKeepsTheCalibrationInForce) {
  Open();
  ASSERT_TRUE(Calibrate());
  const std::string before = Text(W->lblReadout);
  const dravik::TInputResponse kept = W->SignalIn->CalibrIn->Response;
  // Calibrating on the 22 nF jig: the inputs do not see the same voltage.
  SelectBox(2);
  W->rgRunMode->Item(0)->click();
  W->btnStart->click();
  ASSERT_TRUE(PumpUntil([this] { return Count("Calibration failed.") > 0; }, 300s));
  EXPECT_EQ(Count("Calibration done."), 1u);
  EXPECT_EQ(W->rgRunMode->ItemIndex(), 0);
  const dravik::TInputResponse now = W->SignalIn->CalibrIn->Response;
  for (size_t i = 0; i < now.Points.size(); ++i) EXPECT_EQ(now.Points[i].Ratio.Im, kept.Points[i].Ratio.Im);
}

TEST_F(ResponseRun, TheTourTypesTheBoxReferenceAndPrintsEachResult) {
  const std::filesystem::path was = std::filesystem::current_path();
  std::filesystem::current_path(Dir); // the tour writes its screenshot where it runs
  Open();
  std::ostringstream out;
  // The first box is the 2.2 mH coil with Rref 10: put another value in the box first.
  W->edR->setText("47");
  const int rc = dravik::RunTour(*W, out);
  std::filesystem::current_path(was);
  EXPECT_EQ(rc, 0) << out.str();
  EXPECT_EQ(W->edR->text(), "10");
  const std::regex line("result: R=([-+0-9.e]+) uR=([-+0-9.e]+|nan) L=([-+0-9.e]+) uL=([-+0-9.e]+|nan)"
                        " Rp=([-+0-9.e]+) D=([-+0-9.e]+) Q=([-+0-9.e]+)");
  std::istringstream lines(out.str());
  int results = 0;
  for (std::string text; std::getline(lines, text);) {
    std::smatch m;
    if (text.rfind("result:", 0) != 0) continue;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    if (m[2] == "nan") continue; // the first result comes from a single block
    ++results;
    EXPECT_NEAR(std::stod(m[1]), 1.5, 3 * std::stod(m[2]) + 0.015);
    EXPECT_NEAR(std::stod(m[3]) / 2.2e-3, 1, 5e-4);
    // The series pair's parallel equivalent: D = 1/Q and Rp = R (1 + Q²).
    const double r = std::stod(m[1]), rp = std::stod(m[5]), d = std::stod(m[6]), q = std::stod(m[7]);
    EXPECT_NEAR(d * q, 1, 1e-7);
    EXPECT_NEAR(rp / (r * (1 + q * q)), 1, 1e-7);
  }
  EXPECT_GE(results, 5);
}

// TOUR_CALIBRATION_BOX names a box that is not shorted: the tour prints what the window said
// against the calibration and ends with a code of its own.
TEST_F(ResponseRun, TheTourReportsARefusedCalibration) {
  const std::filesystem::path was = std::filesystem::current_path();
  std::filesystem::current_path(Dir);
  setenv("TOUR_CALIBRATION_BOX", vmbox::BoxName(2).c_str(), 1); // 22 nF against 10 kOhm
  Open();
  std::ostringstream out;
  const int rc = dravik::RunTour(*W, out);
  unsetenv("TOUR_CALIBRATION_BOX");
  std::filesystem::current_path(was);
  EXPECT_EQ(rc, 2) << out.str();
  EXPECT_NE(out.str().find("\nrefused: Amplitude calibration refused: the two inputs differ by a "
                           "factor of "), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find("Calibration done."), std::string::npos);
  EXPECT_EQ(out.str().find("Measuring on:"), std::string::npos);
}

} // namespace
} // namespace uitest
