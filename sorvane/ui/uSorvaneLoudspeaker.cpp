// The loudspeaker page: the Thiele-Small fit of the impedance curve drawn last, over the range
// chosen under the chart; its result is written into the header of an exported ZMA file.

#include "sorvane/ui/ufmSorvane.h"

#include "sorvane/ui/uExportBar.h"
#include "sorvane/ui/uThieleSmallPanel.h"

#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sorvane {
namespace {

// A file header holds ASCII: "±" is written as "+/-".
std::string AsciiLine(std::string line) {
  for (size_t at; (at = line.find("±")) != std::string::npos;) line.replace(at, std::string("±").size(), "+/-");
  return line;
}

} // namespace

void TForm1::BuildLoudspeakerPage() {
  tsLoudspeaker = new QWidget;
  tsLoudspeaker->setObjectName("tsLoudspeaker");
  PageControl1->addTab(tsLoudspeaker, "Loudspeaker");
  pnThieleSmall = new TThieleSmallPanel(tsLoudspeaker);
  auto* hint = new QLabel(
      "Measure the loudspeaker in \"Z graph\" at a fine resolution (Setup), over a range around "
      "its resonance and up to where the voice coil's inductance shows (e.g. 10 Hz .. 2 kHz), "
      "then fit. For Vas, put a known mass on the cone, measure again and fit with the added mass.");
  hint->setWordWrap(true);
  auto* layout = new QVBoxLayout(tsLoudspeaker);
  layout->addWidget(hint);
  layout->addWidget(pnThieleSmall, 1);
  pnThieleSmall->Curve = [this] {
    return ExportBar->Kind() == TCurveKind::Impedance ? ExportBar->WholeCurve() : std::vector<TCurvePoint>{};
  };
  pnThieleSmall->Range = [this] { return std::pair(FRangeLo, FRangeHi); };
  pnThieleSmall->OnResult = [this](const std::vector<std::string>& lines) {
    ExportBar->ExtraLines.clear();
    for (const std::string& line : lines) ExportBar->ExtraLines.push_back("T/S " + AsciiLine(line));
  };
}

} // namespace sorvane
