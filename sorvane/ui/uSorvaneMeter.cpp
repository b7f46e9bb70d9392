// TForm1's LCR meter readout in "Z graph + LCR": the latest result read at the test frequency,
// anew after every block, when the marker moves and when a choice of the readout changes.

#include "platform/gui/uChartView.h"
#include "sorvane/ui/uLcrMeterPanel.h"
#include "sorvane/ui/ufmSorvane.h"

namespace sorvane {

double TForm1::TestFrequency() const {
  platform::TChartCursor& cursor = Chart->Cursor();
  return cursor.HasMarker() ? cursor.MarkerPosition() : RangeCentreHz(FRangeLo, FRangeHi);
}

const std::optional<platform::TLcrMeterReading>& TForm1::MeterReading() const { return pnMeter->Reading(); }

// Only a result of this mode and range is read: before one the readout stays empty.
void TForm1::ShowMeter() {
  if (ModeItem() != 2 || memLCRRes->toPlainText().isEmpty()) return;
  pnMeter->Show(FSignalIn->LastLcr(), TestFrequency(), Chart->Cursor().HasMarker());
}

void TForm1::ClearResults() {
  memLCRRes->clear();
  pnMeter->Clear();
}

} // namespace sorvane
