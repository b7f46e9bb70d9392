// The capture device's states: every event from every state, and the rules that the Boolean
// fields follow from what the driver does (the device is open exactly from a successful
// waveInOpen to a successful waveInClose; a run is active from its open notice to its close
// notice).

#include "dravik/audio/uCaptureState.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

namespace dravik {
namespace {

using S = TCaptureState;
using E = TCaptureEvent;

const S AllStates[] = {S::Idle,    S::ProbeOpening,    S::ProbeClosing, S::Opening,
                       S::Running, S::Resynchronising, S::Stopping,     S::Closing};
const E AllEvents[] = {E::ProbeOpened,  E::RunOpened,     E::OpenNoticed,
                       E::ProbeCloseFailed, E::DeviceClosed, E::CloseNoticed,
                       E::RestartNeeded, E::StopRequested, E::QueueBack};

const char* EventName(E event) {
  static const char* const names[] = {"ProbeOpened",  "RunOpened",     "OpenNoticed",
                                      "ProbeCloseFailed", "DeviceClosed", "CloseNoticed",
                                      "RestartNeeded", "StopRequested", "QueueBack"};
  return names[static_cast<int>(event)];
}

// The device's life; every pair not listed leaves the state as it is.
struct TMove { S From; E Event; S To; };
const TMove Moves[] = {
    {S::Idle, E::ProbeOpened, S::ProbeOpening},
    {S::ProbeClosing, E::ProbeOpened, S::ProbeOpening}, // a test open nested in another's wait
    {S::ProbeOpening, E::DeviceClosed, S::ProbeClosing},
    {S::ProbeOpening, E::ProbeCloseFailed, S::Opening}, // held open, no notice to come
    {S::ProbeClosing, E::CloseNoticed, S::Idle},
    {S::Idle, E::RunOpened, S::Opening},
    {S::ProbeClosing, E::RunOpened, S::Opening},
    {S::Opening, E::OpenNoticed, S::Running},
    {S::Opening, E::DeviceClosed, S::Idle},            // destruction before the open notice
    {S::Running, E::RestartNeeded, S::Resynchronising},
    {S::Resynchronising, E::QueueBack, S::Running},
    {S::Running, E::StopRequested, S::Stopping},
    {S::Resynchronising, E::StopRequested, S::Stopping}, // the stop wins
    {S::Stopping, E::QueueBack, S::Running},
    {S::Running, E::DeviceClosed, S::Closing},
    {S::Resynchronising, E::DeviceClosed, S::Closing},
    {S::Closing, E::CloseNoticed, S::Idle},
};

S Expected(S from, E event) {
  for (const TMove& m : Moves) {
    if (m.From == from && m.Event == event) return m.To;
  }
  return from;
}

TEST(CaptureState, EveryEventFromEveryStateLeadsWhereTheDeviceLifeSays) {
  for (const S from : AllStates) {
    for (const E event : AllEvents) {
      EXPECT_STREQ(CaptureStateName(NextCaptureState(from, event)),
                   CaptureStateName(Expected(from, event)))
          << "from " << CaptureStateName(from) << " on " << EventName(event);
    }
  }
}

// A field changes only through the event that the driver's side of it means, so the state never
// claims an open device that was closed, or a run whose notice has not come.
TEST(CaptureState, FieldsChangeOnlyThroughTheirOwnEvents) {
  for (const S from : AllStates) {
    for (const E event : AllEvents) {
      const TCaptureFlags a = FlagsOf(from), b = FlagsOf(NextCaptureState(from, event));
      SCOPED_TRACE(testing::Message() << "from " << CaptureStateName(from) << " on " << EventName(event));
      // A field that turns on (rises) or off (falls): only by the events given.
      const auto only = [event](bool before, bool after, bool rises, std::set<E> causes) {
        return before == after || after != rises || causes.count(event) > 0;
      };
      EXPECT_TRUE(only(a.DeviceOpen, b.DeviceOpen, true, {E::ProbeOpened, E::RunOpened}));
      EXPECT_TRUE(only(a.DeviceOpen, b.DeviceOpen, false, {E::DeviceClosed}));
      EXPECT_TRUE(only(a.Active, b.Active, true, {E::OpenNoticed}));
      EXPECT_TRUE(only(a.Active, b.Active, false, {E::CloseNoticed}));
      EXPECT_TRUE(only(a.Resync, b.Resync, true, {E::RestartNeeded}));
      EXPECT_TRUE(only(a.Stopping, b.Stopping, true, {E::StopRequested}));
      EXPECT_TRUE(only(a.Probing, b.Probing, true, {E::ProbeOpened}));
    }
  }
}

// Each state has its own combination of fields, none of the combinations that mean nothing, and
// every state is reached from Idle and leads back to it.
TEST(CaptureState, StatesAreDistinctLegalAndOnOneCycle) {
  std::set<std::tuple<bool, bool, bool, bool, bool>> rows;
  for (const S s : AllStates) {
    const TCaptureFlags f = FlagsOf(s);
    SCOPED_TRACE(CaptureStateName(s));
    EXPECT_TRUE(rows.emplace(f.Active, f.DeviceOpen, f.Probing, f.Resync, f.Stopping).second);
    EXPECT_FALSE(f.Resync && f.Stopping);
    EXPECT_FALSE(f.Probing && f.Active);
    EXPECT_TRUE(!(f.Resync || f.Stopping) || (f.Active && f.DeviceOpen)); // a run in flight
  }
  const auto reachable = [](S start, bool backwards) {
    std::set<S> seen{start};
    for (bool grew = true; grew;) {
      grew = false;
      for (const S from : AllStates) {
        for (const E event : AllEvents) {
          const S to = NextCaptureState(from, event);
          const S known = backwards ? to : from, found = backwards ? from : to;
          if (seen.count(known) && seen.insert(found).second) grew = true;
        }
      }
    }
    return seen.size();
  };
  EXPECT_EQ(reachable(S::Idle, false), std::size(AllStates));
  EXPECT_EQ(reachable(S::Idle, true), std::size(AllStates));
}

} // namespace
} // namespace dravik
