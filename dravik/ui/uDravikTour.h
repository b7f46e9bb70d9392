#pragma once
// The tour for a machine without a display: the real window on the offscreen platform against
// the virtual measuring boxes in fast mode. It calibrates on the shorted box, measures the first
// component box for ten seconds of audio time, prints every log line and, after each result,
// the two result labels, saves a screenshot of the window as Dravik.png in the current folder,
// closes the window and so prints the shutdown reports.

#include <ostream>

namespace dravik {

class TfmLCR;

// The environment of the tour; must run before the application object is created.
void PrepareTour();
// Drives the window through the tour; the program's exit code (0 when a result was shown).
int RunTour(TfmLCR& Window, std::ostream& Out);

} // namespace dravik
