// What the window shows and writes for a person at work: "Save" that never replaces the results
// with nothing, "Save as..." to a file of the user's choice, an LCR result that goes when it no
// longer holds, and whole device names in a 1600 x 1000 window.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QImage>
#include <fstream>
#include <iterator>

#include "platform/messages.h"
#include "platform/tests/widget_checks.h"
#include "sorvane/tests/ui_support.h"
#include "sorvane/ui/uResultsFile.h"
#include "sorvane/ui/uSorvaneChart.h"
#include "sorvane/ui/ufrSpRange.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

using uitest::TWindow;
namespace vmbox = platform::vmbox;

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A curve of three points as the chart holds it after a block: Series1 and Series2.
const QList<QPointF> Re{{100, 1.5}, {200, 2.5}, {300, 3.5}};
const QList<QPointF> Im{{100, -1}, {200, -2}, {300, -3}};

std::string CurveFile() {
  std::string text;
  for (qsizetype i = 0; i < Re.size(); ++i) text += ResultLine({Re[i].x(), Re[i].y(), Im[i].y()}) + "\r\n";
  return text;
}

struct Saving : testing::Test {
  uitest::TScratch Scratch;
  std::unique_ptr<TWindow> W;
  std::vector<QString> Asked;  // what "Save as..." suggested, in order
  QString Answer;              // what the user picks ("" cancels)

  void SetUp() override {
    uitest::DefaultCard();
    W = std::make_unique<TWindow>(Scratch.Files());
    (*W)->OnSaveFileName = [this](const QString& suggested) {
      Asked.push_back(suggested);
      return Answer;
    };
  }
  void Draw() {
    (*W)->ChartData().SetPoints(0, Re);
    (*W)->ChartData().SetPoints(1, Im);
  }
  TForm1& Form() { return *W->Form; }
};

TEST_F(Saving, NothingDrawnWritesNoFileAndSaysSo) {
  const auto results = Scratch.Files().Results;
  std::ofstream(results, std::ios::binary) << "earlier results\r\n";
  Form().btnSave->click();
  Form().btnSaveAs->click();
  EXPECT_EQ(ReadAll(results), "earlier results\r\n") << "the previous file stays as it was";
  EXPECT_TRUE(Asked.empty()) << "no file name is asked for nothing";
  EXPECT_EQ(Form().lbSaveStatus->text(), "Nothing is drawn, so nothing was saved: press Start first.");
  EXPECT_TRUE(W->Messages.empty());
}

TEST_F(Saving, SaveAsWritesTheChosenFileInTheResultsFormat) {
  Draw();
  const auto chosen = Scratch.Dir / "curves" / "coil.txt";
  std::filesystem::create_directory(chosen.parent_path());

  Answer = ""; // the user cancels: nothing is written
  Form().btnSaveAs->click();
  ASSERT_EQ(Asked.size(), 1u);
  EXPECT_EQ(Asked[0].toStdString(), Scratch.Files().Results.string());
  EXPECT_FALSE(std::filesystem::exists(chosen));
  EXPECT_EQ(Form().lbSaveStatus->text(), "");

  Answer = QString::fromStdString(chosen.string());
  Form().btnSaveAs->click();
  EXPECT_EQ(ReadAll(chosen), CurveFile());
  EXPECT_FALSE(std::filesystem::exists(Scratch.Files().Results)) << "Save's own file is not touched";
  EXPECT_EQ(Form().lbSaveStatus->text(), "Saved 3 points to coil.txt.");
  EXPECT_EQ(Form().lbSaveStatus->toolTip().toStdString(), chosen.string());

  // A folder that does not exist: the system's text and the advice; the next suggestion is
  // still the file last written.
  Answer = QString::fromStdString((Scratch.Dir / "missing" / "x.txt").string());
  Form().btnSaveAs->click();
  ASSERT_EQ(W->Messages.size(), 1u);
  EXPECT_EQ(W->Messages[0], "Can not save the results to " + (Scratch.Dir / "missing" / "x.txt").string() +
                                ": No such file or directory. Check that the folder exists and may "
                                "be written, or choose another one with \"Save as...\".");
  EXPECT_EQ(Form().lbSaveStatus->text(), "Nothing was saved.");
  Form().btnSaveAs->click();
  ASSERT_EQ(Asked.size(), 4u);
  EXPECT_EQ(Asked[2].toStdString(), chosen.string());
  EXPECT_EQ(Asked[3].toStdString(), chosen.string());

  // "Save" still writes its own file.
  Form().btnSave->click();
  EXPECT_EQ(ReadAll(Scratch.Files().Results), CurveFile());
  EXPECT_EQ(Form().lbSaveStatus->text(), "Saved 3 points to Sorvane.txt.");
}

// Each change after which the shown R, L or C no longer describes what is measured.
TEST_F(Saving, TheLcrResultGoesWhenItNoLongerHolds) {
  const struct {
    const char* name;
    std::function<void(TForm1&)> change;
  } cases[] = {
      {"range", [](TForm1& f) { f.frSpRange1->SetRange(200, 5000); }},
      {"mode", [](TForm1& f) { f.SetModeItem(1); }},
      {"calibration", [](TForm1& f) { f.SetModeItem(0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Form().SetModeItem(2);
    Form().memLCRRes->setPlainText("R= 3.3 Ohm");
    c.change(Form());
    EXPECT_EQ(Form().memLCRRes->toPlainText(), "");
  }
}

TEST(Screenshot, BothPagesAt1600x1000ShowWholeDeviceNames) {
  uitest::App();
  std::vector<vmbox::TBoxConfig> boxes = vmbox::DefaultBoxes();
  boxes[0].Name = "Virtual box: MMMMMMMMMMMMMMMMMM"; // as long and as wide as a name can be
  vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  w->resize(1600, 1000);
  w->btnSave->click(); // nothing drawn: the status line says so
  for (QWidget* page : {w->tsSetup, w->tsProcessing}) {
    SCOPED_TRACE(page->objectName().toStdString());
    w->PageControl1->setCurrentWidget(page);
    platform::ProcessMessages();
    const QImage shot = w->grab().toImage();
    EXPECT_EQ(shot.size(), QSize(1600, 1000) * shot.devicePixelRatio());
    EXPECT_TRUE(shot.save(
        QString::fromStdString((scratch.Dir / ("Sorvane-" + page->objectName().toStdString() + ".png")).string())));
  }
  w->PageControl1->setCurrentWidget(w->tsSetup);
  platform::ProcessMessages();
  widgetcheck::ExpectWholeNames(w->frWaveSetup1->cbDeviceIn);
  widgetcheck::ExpectWholeNames(w->frWaveSetup1->cbDeviceOut);
  w->PageControl1->setCurrentWidget(w->tsProcessing);
  platform::ProcessMessages();
  for (const QPushButton* button : {w->btnSave, w->btnSaveAs}) {
    EXPECT_TRUE(button->isVisible());
    EXPECT_GT(button->width(), button->fontMetrics().horizontalAdvance(button->text()))
        << button->objectName().toStdString();
  }
  EXPECT_TRUE(w->lbSaveStatus->isVisible());
  EXPECT_GE(w->lbSaveStatus->width(), w->lbSaveStatus->sizeHint().width()) << "the status is cut";

  // At the design's size the right column still has room for the text of every choice.
  w->resize(585, 430);
  w->SetModeItem(2);
  platform::ProcessMessages();
  std::vector<const QWidget*> choices{w->cbModPh, w->cbDrawAll, w->cbLeftForAll, w->cbLogF};
  for (QAbstractButton* item : w->rgModeItems->buttons()) choices.push_back(item);
  for (const QWidget* choice : choices)
    EXPECT_GE(choice->height(), choice->fontMetrics().height()) << choice->objectName().toStdString();
}

} // namespace
} // namespace sorvane
