#pragma once
// The tour that Sorvane runs when there is no display: the real window, offscreen, against the
// virtual measuring boxes in fast mode. It calibrates on the shorted box (level check, then
// "Continue"), runs the fixture's open step on an open box when the card has one (and the
// short step when the component sits on leads), measures the first component box in "Z graph +
// LCR" for ten seconds of audio, saves the results, writes a screenshot and closes, printing
// what the window showed.

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

#include "sorvane/ui/ufmSorvane.h"

namespace sorvane {

// Serves the window's events and the device threads' synchronised calls until done() holds;
// false after timeoutMs of wall-clock time.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

// The virtual box of that name, or -1.
int FindBox(const std::string& name);

// Selects a virtual box's input and output in the device setup frame.
void UseBox(TForm1& form, size_t box);

// Sets the R ref value list's current entry as a user types it.
void TypeRref(TForm1& form, const std::string& text);

// Runs the tour with the window's files `files` (the screenshot goes beside the settings
// file); the exit code of the program.
int RunTour(std::ostream& out, const TSorvaneFiles& files);

} // namespace sorvane
