// The window's own controls: the reference resistor box, the channel swap on the diagram, the
// run mode's view of the circuit, the chart options and the colours of the log.

#include "dravik/tests/ui_support.h"

#include <QKeyEvent>
#include <QLineSeries>
#include <QTextBlock>
#include <QTextEdit>
#include <QValueAxis>

namespace dravik {
namespace {

using namespace uitest;

struct Controls : TWindowTest {
  void SetUp() override {
    TWindowTest::SetUp();
    Open();
  }
  void PressReturn(QWidget* widget) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
  }
};

struct TResistorCase {
  const char* Typed;
  double Expected; // RefResistance afterwards, starting from 10
  bool Rejected;   // the box shows that the text is not used
};
const TResistorCase ResistorCases[] = {
    {"4.7", 4.7, false},  {"1e3", 1000, false}, {" 22 ", 22, false},  {"", 10, false},
    {"abc", 10, true},    {"4,7", 10, true},    {"0", 10, true},      {"-5", 10, true},
    {"nan", 10, true},    {"inf", 10, true},    {"1e999999", 10, true}, {"4.7.1", 10, true},
    {"0x10", 10, true},   {"1e4000", 10, true}, {"1e-4000", 10, true},
};

TEST_F(Controls, TheReferenceResistorTakesOnlyUsableNumbers) {
  for (const auto& c : ResistorCases) {
    SCOPED_TRACE(std::string("typed \"") + c.Typed + "\"");
    W->edR->setText("10");
    ASSERT_EQ(static_cast<double>(W->RefResistance), 10.0);
    W->edR->setText(c.Typed);
    EXPECT_DOUBLE_EQ(static_cast<double>(W->RefResistance), c.Expected);
    EXPECT_EQ(W->edR->property("notANumber").toBool(), c.Rejected);
    EXPECT_EQ(W->edR->toolTip().isEmpty(), !c.Rejected);
  }
}

TEST_F(Controls, LeavingTheBoxWithTextThatIsNoNumberSaysSoOnce) {
  W->edR->setText("4.7");
  W->edR->setText("4.7x");
  PressReturn(W->edR);
  EXPECT_TRUE(Logged("\"4.7x\" is not a resistance in ohms; the reference resistor stays 4.7 Ohm.",
                     false));
  EXPECT_EQ(static_cast<double>(W->RefResistance), 4.7);
  const size_t lines = Log.size();
  W->edR->setText("5");
  PressReturn(W->edR);
  EXPECT_EQ(Log.size(), lines);
}

TEST_F(Controls, SwapExchangesTheInputLabelsOnTheDiagram) {
  const int left = W->lblLeft->x(), right = W->lblRight->x();
  ASSERT_LT(left, right);
  W->cbSwap->click();
  EXPECT_EQ(W->lblLeft->x(), right);
  EXPECT_EQ(W->lblRight->x(), left);
  W->cbSwap->click();
  EXPECT_EQ(W->lblLeft->x(), left);
  EXPECT_EQ(W->lblRight->x(), right);
}

TEST_F(Controls, TheRunModeShowsTheCircuitOfItsRun) {
  W->rgRunMode->Item(1)->click();
  EXPECT_EQ(W->StartClick(), &TfmLCR::btnStartMeasurementClick);
  EXPECT_FALSE(W->Circuit->ShortShown());
  EXPECT_TRUE(W->lblR->isVisibleTo(W.get()));
  EXPECT_TRUE(W->lblZ->isVisibleTo(W.get()));
  W->rgRunMode->Item(0)->click();
  EXPECT_EQ(W->StartClick(), &TfmLCR::btnStartCalibrationClick);
  EXPECT_TRUE(W->Circuit->ShortShown());
  EXPECT_FALSE(W->lblR->isVisibleTo(W.get()));
  EXPECT_FALSE(W->lblZ->isVisibleTo(W.get()));
}

TEST_F(Controls, ChartOptionsMoveSeriesAndFixTheScale) {
  TLCRChart& chart = W->Chart();
  EXPECT_TRUE(chart.LeftAxis()->isGridLineVisible());
  EXPECT_FALSE(chart.RightAxis()->isGridLineVisible());
  W->Chart1ClickAxis(true);
  EXPECT_TRUE(chart.RightAxis()->isGridLineVisible());
  EXPECT_FALSE(chart.LeftAxis()->isGridLineVisible());

  W->cbGraphScale->click();
  EXPECT_TRUE(W->Series2->attachedAxes().contains(chart.LeftAxis()));
  EXPECT_TRUE(W->Series3->attachedAxes().contains(chart.LeftAxis()));
  EXPECT_TRUE(chart.LeftAxis()->isGridLineVisible());
  EXPECT_FALSE(chart.RightAxis()->isGridLineVisible());
  EXPECT_NE(chart.LeftAxis()->labelsBrush().color(), QColor(Qt::red));
  W->cbGraphScale->click();
  EXPECT_TRUE(W->Series2->attachedAxes().contains(chart.RightAxis()));
  EXPECT_FALSE(W->Series2->attachedAxes().contains(chart.LeftAxis()));
  EXPECT_EQ(chart.LeftAxis()->labelsBrush().color(), QColor(Qt::red));

  chart.SetPoints(TSeriesId::Series1, {{100, 1}, {1000, 2}});
  const double min = chart.LeftAxis()->min(), max = chart.LeftAxis()->max();
  W->cbFixAxis->click();
  chart.SetPoints(TSeriesId::Series1, {{100, 50}, {1000, 60}});
  EXPECT_EQ(chart.LeftAxis()->min(), min);
  EXPECT_EQ(chart.LeftAxis()->max(), max);
  W->cbFixAxis->click();
  EXPECT_GT(chart.LeftAxis()->max(), 60);
}

TEST_F(Controls, TheLogShowsErrorsInRedAndSkipsBlankLines) {
  W->reMes->clear();
  W->AddMessage("  ", true);
  W->AddMessage("", false);
  EXPECT_TRUE(W->reMes->document()->isEmpty());
  W->AddMessage("Fine.", true);
  W->AddMessage("Broken <b>", false);
  EXPECT_EQ(W->reMes->toPlainText(), "Fine.\nBroken <b>");
  const QTextBlock first = W->reMes->document()->firstBlock();
  const QTextBlock last = W->reMes->document()->lastBlock();
  EXPECT_NE(first.begin().fragment().charFormat().foreground().color(), QColor(Qt::red));
  EXPECT_EQ(last.begin().fragment().charFormat().foreground().color(), QColor(Qt::red));
  EXPECT_TRUE(W->reMes->isReadOnly());
}

// Picking a device renegotiates its format; the lists' choice still holds for both devices,
// in the measurement as in the calibration, and is what the settings file keeps.
TEST_F(Controls, TheFormatListsAndTheDevicesAlwaysAgree) {
  W->cbBits->setCurrentIndex(0);     // 8 bits
  W->cbSampling->setCurrentIndex(4); // 96000
  W->cbBitsSamplingChange();
  SelectBox(2);
  EXPECT_EQ(W->SignalIn->GetBits(), 8u);
  EXPECT_EQ(W->SignalOut->GetBits(), 8u);
  EXPECT_EQ(W->SignalIn->GetSamplingRate(), 96000u);
  EXPECT_EQ(W->SignalOut->GetSamplingRate(), 96000u);
  ASSERT_TRUE(Measure(1));
  EXPECT_TRUE(Logged("WaveIn: Start: Channels=2, Sampling=96000, Bits=8.", true));
  StopRun();
  ASSERT_TRUE(W->FormCloseQuery());
  const std::string saved = ReadSettings();
  EXPECT_NE(saved.find("IdBits=0"), std::string::npos);
  EXPECT_NE(saved.find("IdSampling=4"), std::string::npos);
}

} // namespace
} // namespace dravik
