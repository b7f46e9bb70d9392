#pragma once
// What the analysis shows: two result label texts and three chart line series. The main window
// implements this interface with its labels and chart; the analysis itself knows no widgets.

#include <string>
#include <vector>

namespace dravik {

// One point of a line series, as the chart takes it.
struct TChartPoint {
  double X = 0;
  double Y = 0;
};

using TChartPoints = std::vector<TChartPoint>;

// The three line series of the main window's chart.
enum class TSeriesId { Series1, Series2, Series3 };

class TAnalysisOutput {
public:
  virtual ~TAnalysisOutput() = default;

  // The text of the resistance label (lblR).
  virtual void SetResistanceText(const std::string& text) = 0;
  // The text of the inductance or capacitance label (lblZ).
  virtual void SetReactanceText(const std::string& text) = 0;
  // The legend title of a series.
  virtual void SetSeriesTitle(TSeriesId series, const std::string& title) = 0;
  // Replaces every point of a series (an empty list clears it); points come in increasing x.
  virtual void SetSeriesPoints(TSeriesId series, const TChartPoints& points) = 0;
  // The readout of a result: its values with their uncertainties, one per line (empty when
  // there is no result). Outputs that show no readout ignore it.
  virtual void SetReadoutText(const std::string& /*text*/) {}
};

// Shows nothing: for analyses whose results are read from the fit alone (tests, benchmarks).
class TNoAnalysisOutput : public TAnalysisOutput {
public:
  void SetResistanceText(const std::string&) override {}
  void SetReactanceText(const std::string&) override {}
  void SetSeriesTitle(TSeriesId, const std::string&) override {}
  void SetSeriesPoints(TSeriesId, const TChartPoints&) override {}
};

} // namespace dravik
