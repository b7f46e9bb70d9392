#pragma once
// A test program's Qt application for the length of its run, as a GoogleTest environment:
// made before the first test and destroyed after the last.

#include "platform/tests/support/app.h"

#include <gtest/gtest.h>

namespace testsupport {

class TAppEnvironment : public testing::Environment {
public:
  explicit TAppEnvironment(TAppOptions options) : Options(options) {}
  void SetUp() override { App = MakeApplication(Options); }
  void TearDown() override { App.reset(); }

private:
  TAppOptions Options;
  std::unique_ptr<QCoreApplication> App;
};

// Registers the environment; call it from an inline variable of a support header.
inline const testing::Environment* AddAppEnvironment(TAppOptions options) {
  return testing::AddGlobalTestEnvironment(new TAppEnvironment(options));
}

} // namespace testsupport
