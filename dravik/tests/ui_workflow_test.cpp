// What the window shows a person while working: the calibration's run and step as it goes, result
// texts that go when they no longer hold, a log pane that can be made taller, and device lists
// wide enough for whole names, also in a 1600 x 1000 window.

#include "dravik/tests/ui_support.h"
#include "platform/tests/widget_checks.h"

#include <QLabel>
#include <QProgressBar>
#include <QSplitter>
#include <QTextEdit>

namespace dravik {
namespace {

using namespace uitest;

struct Workflow : TWindowTest {
  // Every state of the progress row, as it changes.
  std::vector<std::pair<std::string, int>> Progress;

  void Track() {
    // The window itself, not W: the log still receives the chains' last lines while W is reset.
    const auto note = [this, w = W.get()] {
      const std::pair<std::string, int> now{Text(w->lblProgress), w->pbCalibration->value()};
      if (!now.first.empty() && (Progress.empty() || Progress.back() != now)) Progress.push_back(now);
    };
    // Each step opens the capture, which the log reports; the response run moves the bar.
    QObject::connect(W.get(), &TfmLCR::MessageAdded, note);
    QObject::connect(W->pbCalibration, &QProgressBar::valueChanged, note);
  }
  bool Shown(const std::string& text) const {
    return std::any_of(Progress.begin(), Progress.end(), [&](const auto& p) { return p.first == text; });
  }
};

TEST_F(Workflow, ACalibrationShowsEachRunAndStep) {
  Open();
  Track();
  ASSERT_TRUE(Calibrate());
  const int steps = W->SignalIn->GetStepCount();
  for (int s = 1; s <= steps; ++s)
    EXPECT_TRUE(Shown("Offset run: step " + std::to_string(s) + " of " + std::to_string(steps))) << s;
  const int amplitude = 2 * steps - 1;
  for (int s = 1; s <= amplitude; ++s)
    EXPECT_TRUE(Shown("Amplitude run: step " + std::to_string(s) + " of " + std::to_string(amplitude)))
        << s;
  EXPECT_TRUE(std::any_of(Progress.begin(), Progress.end(),
                          [](const auto& p) { return p.first.rfind("Response run: block ", 0) == 0; }));
  for (size_t i = 1; i < Progress.size(); ++i)
    EXPECT_GE(Progress[i].second, Progress[i - 1].second) << Progress[i].first;
  ASSERT_FALSE(Progress.empty());
  EXPECT_EQ(Progress.back(), std::make_pair(std::string("Calibration done."), 100));
}

TEST_F(Workflow, AnAbortedCalibrationSaysSoWhereItStopped) {
  Open();
  Track();
  SelectBox(vmbox::BoxCount() - 1);
  W->rgRunMode->Item(0)->click();
  W->btnStart->click();
  ASSERT_TRUE(PumpUntil([this] { return Shown("Amplitude run: step 2 of 9"); }, 300s));
  W->btnStart->click();
  EXPECT_EQ(Text(W->lblProgress), "Calibration aborted.");
  EXPECT_GT(W->pbCalibration->value(), 0);
  EXPECT_LT(W->pbCalibration->value(), 100);
  ASSERT_TRUE(PumpUntil([this] { return Idle(); }));
}

// A result belongs to the calibration and mode it was measured in.
TEST_F(Workflow, AModeChangeClearsTheResultTexts) {
  Open();
  ASSERT_TRUE(Calibrate());
  SelectBox(0);
  ASSERT_TRUE(Measure(1));
  StopRun();
  ASSERT_EQ(Text(W->lblR).rfind("Rx= ", 0), 0u) << Text(W->lblR);
  ASSERT_FALSE(Text(W->lblReadout).empty());
  W->rgRunMode->Item(0)->click();
  W->rgRunMode->Item(1)->click();
  EXPECT_EQ(Text(W->lblR), "Rx");
  EXPECT_EQ(Text(W->lblZ), "Zx");
  EXPECT_EQ(Text(W->lblReadout), "");
}

// The height of n lines of the log's font.
int Lines(const QTextEdit* log, int n) { return log->fontMetrics().lineSpacing() * n; }

TEST_F(Workflow, ScreenshotShowsTheWholeLogAndWholeDeviceNames) {
  // A box whose name is as long and as wide as a device name can be.
  std::vector<TBoxConfig> boxes = MatchedBoxes();
  boxes[0].Name = "Virtual box: MMMMMMMMMMMMMMMMMM";
  vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
  Open();
  SelectBox(0);
  for (const QSize size : {QSize(1600, 1000), QSize(631, 402)}) {
    SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
    W->resize(size);
    ASSERT_TRUE(PumpUntil([&] { return W->size() == W->size().expandedTo(W->minimumSize()); }));
    platform::ProcessMessages();
    const QImage shot = W->grab().toImage();
    EXPECT_TRUE(shot.save(QString::fromStdString(
        (Dir / ("Dravik-" + std::to_string(size.width()) + ".png")).string())));
    EXPECT_EQ(shot.size(), W->size() * shot.devicePixelRatio());
    widgetcheck::ExpectWholeNames(W->cbOut);
    widgetcheck::ExpectWholeNames(W->cbIn);
    ASSERT_TRUE(W->reMes->isVisible());
    const QRect log(W->reMes->mapTo(W.get(), QPoint(0, 0)), W->reMes->size());
    EXPECT_TRUE(W->rect().contains(log)) << "the log pane is cut off";
    EXPECT_GE(W->reMes->viewport()->height(), Lines(W->reMes, size.height() >= 1000 ? 8 : 3));
    EXPECT_TRUE(W->lblProgress->isVisible());
  }
  // Dragging the splitter's handle up makes the log taller.
  W->resize(1600, 1000);
  platform::ProcessMessages();
  const int before = W->reMes->height();
  QList<int> sizes = W->splLog->sizes();
  sizes[0] -= 300;
  sizes[1] += 300;
  W->splLog->setSizes(sizes);
  EXPECT_GE(W->reMes->height(), before + 250);
}

} // namespace
} // namespace dravik
