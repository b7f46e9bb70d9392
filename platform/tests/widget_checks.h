#pragma once
// Checks of what a person sees in a window, shared by both programs' window tests.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>

#include <algorithm>

namespace widgetcheck {

// The list shows its longest item whole: it is at least as wide as it asks to be, that is wider
// than the item's text, and it lies inside its window.
inline void ExpectWholeNames(const QComboBox* list) {
  SCOPED_TRACE(list->objectName().toStdString());
  int widest = 0;
  for (int i = 0; i < list->count(); ++i)
    widest = std::max(widest, list->fontMetrics().horizontalAdvance(list->itemText(i)));
  EXPECT_GT(list->sizeHint().width(), widest);
  EXPECT_GE(list->width(), list->sizeHint().width());
  const QRect inWindow(list->mapTo(list->window(), QPoint(0, 0)), list->size());
  EXPECT_TRUE(list->window()->rect().contains(inWindow)) << "cut off by the window";
}

} // namespace widgetcheck
