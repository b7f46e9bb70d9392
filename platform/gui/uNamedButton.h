#pragma once
// A push button as both windows build them: a caption, an object name the tests and the tours
// find it by, and a tooltip that says what it does.

#include <QPushButton>

namespace platform {

QPushButton* NamedButton(const char* name, const char* caption, const char* tip,
                         QWidget* parent = nullptr);

} // namespace platform
