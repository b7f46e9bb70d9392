// The virtual boxes on offer: their names, the defaults and the VMBOX_CIRCUITS text.

#include "platform/vmbox/uBoxConfig.h"
#include "platform/vmbox/uBoxValueText.h"

#include <gtest/gtest.h>

#include <cmath>

namespace platform::vmbox {
namespace {

TEST(BoxConfig, DefaultBoxesEndWithTheShortedOne) {
  const auto boxes = DefaultBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  const char* names[] = {"Virtual box: 3.3 Ohm + 1 mH", "Virtual box: 10 uF + 0.2 Ohm",
                         "Virtual box: 47 Ohm", "Virtual box: shorted Zx"};
  for (size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].Name, names[i]);
    EXPECT_EQ(boxes[i].Circuit.Rref, 10);
    EXPECT_EQ(boxes[i].Circuit.Shorted, i == 3);
    EXPECT_EQ(ValidateBox(boxes[i]), "") << i;
  }
  EXPECT_EQ(boxes[1].Circuit.C, 10e-6);
  EXPECT_EQ(boxes[1].Circuit.R, 0.2);
}

TEST(BoxConfig, NamesFitTheDeviceNameField) {
  struct Case {
    TCircuit c;
    const char* name;
  };
  const Case cases[] = {
      {{2200, 0, 0, 10, false}, "Virtual box: 2.2 kOhm"},
      {{0, 0, 100e-9, 1000, false}, "Virtual box: 100nF, Rref 1kOhm"}, // compacted to fit
      {{0.005, 250e-6, 0, 10, false}, "Virtual box: 5 mOhm + 250 uH"},
      {{0, 0, 0, 10, false}, "Virtual box: 0 Ohm"},
      {{999.99, 0, 0, 10, false}, "Virtual box: 1 kOhm"},
      {{3.3, 1e-3, 4.7e-12, 10, false}, "Virtual box: 4.7pF+3.3Ohm+1mH"},
      {{47, 0, 0, 10, false, true}, "Virtual box: 47 Ohm, swap"},
      {{0.2, 0, 10e-6, 10, false, true}, "Virtual box: 10uF+0.2Ohm, swap"},
      // Beyond the prefixes, where the digits of a plain number would not fit.
      {{0, 1e-75, 0, 10, false}, "Virtual box: 1e-75 H"},
      {{0, 0, 2.5e-13, 10, false}, "Virtual box: 2.5e-13 F"},
      {{1.5e300, 0, 0, 10, false}, "Virtual box: 1.5e+300 Ohm"},
  };
  for (const Case& c : cases) EXPECT_EQ(BoxName(c.c), c.name);
  // The fixture's boxes: an open jig, leads shorted at their far end, a part on leads.
  TCircuit open, shortedLeads, onLeads{0.1, 1e-6, 0, 10, false};
  open.Open = true;
  shortedLeads.LeadR = onLeads.LeadR = 0.1;
  shortedLeads.LeadL = onLeads.LeadL = 1e-6;
  EXPECT_EQ(BoxName(open), "Virtual box: open");
  EXPECT_EQ(BoxName(shortedLeads), "Virtual box: shorted leads");
  EXPECT_EQ(BoxName(onLeads), "Virtual box: 0.1Ohm+1uH, leads");
  const std::string longest = BoxName({123456, 0.123, 0.00123, 12345, false});
  EXPECT_LE(longest.size(), MaxBoxNameLength);
  EXPECT_EQ(longest.rfind("Virtual box: ", 0), 0u);
}

TEST(BoxConfig, ValuesTakeSiPrefixesAndTheirUnit) {
  struct Case {
    const char* text;
    const char* unit;
    double value;
  };
  const Case good[] = {
      {"3.3", "Ohm", 3.3},       {"1m", "H", 1e-3},      {"10u", "F", 10e-6},
      {"10\u00b5F", "F", 10e-6}, {"100n", "F", 1e-7},    {"4.7p", "F", 4.7e-12},
      {"2.2k", "Ohm", 2200},     {"1M", "Ohm", 1e6},     {" 1mH ", "H", 1e-3},
      {"10 uF", "F", 1e-5},      {"3.3ohm", "Ohm", 3.3}, {"-0.5", "", -0.5},
      {"1e-3", "", 1e-3},
  };
  for (const Case& c : good) {
    const auto v = ParseValue(c.text, c.unit);
    ASSERT_TRUE(v) << c.text;
    EXPECT_NEAR(*v, c.value, 1e-12 * std::fabs(c.value)) << c.text;
  }
  for (const char* bad : {"", "x", "1x", "1..2", "nan", "inf", "1mm", "1 H", "m", "+1", "1,5"})
    EXPECT_FALSE(ParseValue(bad, "F")) << bad;
}

TEST(BoxConfig, EveryKeyReachesItsSetting) {
  const auto r = ParseCircuits(
      "R=1.5,L=2m,C=3u,Rref=100,name=Jig A,swap=on; source=4.7,level=0.5,inlevel=0.8,"
      "inlevel1=0.6,offset=0.01,offset1=-0.02,gain0=1.1,gain1=0.9,hp=5,hp1=6Hz,aa0=0.44,aa1=0.46,noise=1e-4,"
      "latency=2000,ppm=-50,seed=77,matched=yes,volume=cubic,zin=47k,cin=100p,refuse=Source;"
      "R=0.1,leadR=0.1,leadL=1u;open=on,leadC=50p");
  ASSERT_EQ(r.Error, "");
  ASSERT_EQ(r.Boxes.size(), 4u);
  const TBoxConfig& b = r.Boxes[0];
  EXPECT_EQ(b.Circuit.LeadR, 0);
  EXPECT_FALSE(b.Circuit.Open);
  EXPECT_EQ(r.Boxes[1].Circuit.LeadR, 0.1);
  EXPECT_DOUBLE_EQ(r.Boxes[1].Circuit.LeadL, 1e-6);
  EXPECT_TRUE(r.Boxes[2].Circuit.Open);
  EXPECT_EQ(r.Boxes[2].Name, "Virtual box: open, leads");
  EXPECT_DOUBLE_EQ(r.Boxes[2].Circuit.LeadC, 50e-12);
  EXPECT_DOUBLE_EQ(r.Boxes[2].Card.InputResistance, 47e3) << "zin belongs to the card";
  EXPECT_EQ(b.Name, "Jig A");
  EXPECT_EQ(b.Circuit.R, 1.5);
  EXPECT_DOUBLE_EQ(b.Circuit.L, 2e-3);
  EXPECT_DOUBLE_EQ(b.Circuit.C, 3e-6);
  EXPECT_EQ(b.Circuit.Rref, 100);
  EXPECT_TRUE(b.Circuit.Swapped);
  EXPECT_FALSE(r.Boxes[1].Circuit.Swapped) << "the wiring belongs to one jig";
  const TCardModel& m = b.Card;
  EXPECT_EQ(m.SourceImpedance, 4.7);
  EXPECT_EQ(m.OutputLevel, 0.5);
  EXPECT_EQ(m.InputLevel[0], 0.8);
  EXPECT_EQ(m.InputLevel[1], 0.6);
  EXPECT_EQ(m.DcOffset[0], 0.01);
  EXPECT_EQ(m.DcOffset[1], -0.02);
  EXPECT_EQ(m.Gain[0], 1.1);
  EXPECT_EQ(m.Gain[1], 0.9);
  EXPECT_EQ(m.HighPassHz[0], 5);
  EXPECT_EQ(m.HighPassHz[1], 6);
  EXPECT_EQ(m.AntiAliasEdge[0], 0.44);
  EXPECT_EQ(m.AntiAliasEdge[1], 0.46);
  EXPECT_EQ(m.NoiseRms, 1e-4);
  EXPECT_TRUE(m.NoiseOn);
  EXPECT_EQ(m.VolumeCurve, 3);
  EXPECT_EQ(m.LatencyFrames, 2000);
  EXPECT_EQ(m.ClockPpm, -50);
  EXPECT_EQ(m.Seed, 77u);
  EXPECT_TRUE(m.Matched);
  EXPECT_DOUBLE_EQ(m.InputResistance, 47e3);
  EXPECT_DOUBLE_EQ(m.InputCapacitance, 100e-12);
  EXPECT_EQ(m.RefusedControl, TRefusedControl::RecordingSource);
  EXPECT_TRUE(r.Boxes[3].Circuit.Shorted);
  EXPECT_EQ(r.Boxes[3].Card.Seed, 77u) << "the shorted box sits on the same card";
  EXPECT_EQ(ValidateBox(b), "");
}

TEST(BoxConfig, CardSettingsAreSharedAndAloneKeepTheDefaultJigs) {
  auto r = ParseCircuits("R=1; noise=off ;L=1m,rref=22");
  ASSERT_EQ(r.Error, "");
  ASSERT_EQ(r.Boxes.size(), 3u);
  for (const auto& b : r.Boxes) EXPECT_FALSE(b.Card.NoiseOn);
  EXPECT_EQ(r.Boxes[0].Name, "Virtual box: 1 Ohm");
  EXPECT_EQ(r.Boxes[1].Name, "Virtual box: 1 mH, Rref 22 Ohm");
  r = ParseCircuits("noise=off");
  ASSERT_EQ(r.Boxes.size(), DefaultBoxes().size());
  EXPECT_FALSE(r.Boxes[0].Card.NoiseOn);
  EXPECT_EQ(r.Boxes[0].Name, DefaultBoxes()[0].Name);
  EXPECT_EQ(ParseCircuits("  ").Boxes.size(), DefaultBoxes().size());
}

TEST(BoxConfig, MalformedTextSaysWhatAndWhere) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"R=1;X=5", "circuit 2 (\"X=5\"): unknown key \"X\""},
      {"R=abc", "circuit 1 (\"R=abc\"): \"R=abc\": not a number"},
      {"R=1;;R=2", "circuit 2 is empty"},
      {"R=1;", "circuit 2 is empty"},
      {"R=-1", "circuit 1 (\"R=-1\"): \"R=-1\": R must be from 0 to 1 GOhm"},
      {"R=1,,L=1m", "circuit 1 (\"R=1,,L=1m\"): empty entry"},
      {"R", "circuit 1 (\"R\"): \"R\" is not name=value"},
      {"R=", "circuit 1 (\"R=\"): \"R\" has no value"},
      {"=3", "circuit 1 (\"=3\"): a name is missing before \"=\""},
      {"R=1,r=2", "circuit 1 (\"R=1,r=2\"): \"r\" is given twice"},
      {"R=1,noise=off;R=2,noise=on",
       "circuit 2 (\"R=2,noise=on\"): \"noise=on\": the card's \"noise\" was given another value "
       "before"},
      {"R=1,latency=10.5", "latency must be a whole number of frames from 0 to 1000000"},
      {"R=1,Rref=0", "Rref must be from 1 mOhm to 1 GOhm"},
      {"R=1,level=2", "level must be from 0 to 1"},
      {"R=1,matched=maybe", "\"matched=maybe\": not a number"},
      {"R=1,aa=0.5", "aa must be from 0.25 to 0.48"},
      {"R=1,volume=5", "volume must be linear, cubic or from 0.25 to 4"},
      {"R=1,refuse=bass",
       "refuse must be none, master, mastermute, wave, wavemute, recording, source or line"},
      {"R=1,refuse=2", "refuse must be none, master"},
      {"Rref=100", "circuit 1 (\"Rref=100\"): no R, L or C given"},
      {"open=on,R=1", "an open jig has no R, L or C"},
      {"R=1,zin=0", "zin must be from 1 Ohm to 1 TOhm"},
      {"R=1,cin=2u", "cin must be from 0 to 1 uF"},
      {"R=1,leadL=-1u", "leadL must be from 0 to 1 H"},
      {"C=1u,name=a name much longer than thirty-one", "the name is longer than 31 characters"},
  };
  for (const Case& c : cases) {
    const auto r = ParseCircuits(c.text);
    EXPECT_NE(r.Error.find(c.error), std::string::npos) << c.text << " -> " << r.Error;
    EXPECT_TRUE(r.Boxes.empty()) << c.text;
  }
}

TEST(BoxConfig, ValidationOfHandMadeBoxes) {
  TBoxConfig b = DefaultBoxes()[0];
  EXPECT_EQ(ValidateBox(b), "");
  b.Circuit.R = -1;
  EXPECT_EQ(ValidateBox(b), "R must be from 0 to 1 GOhm");
  b = DefaultBoxes()[0];
  b.Card.Gain[1] = NAN;
  EXPECT_EQ(ValidateBox(b), "the gains must be from 0.001 to 100");
  b = DefaultBoxes()[0];
  b.Name = "";
  EXPECT_EQ(ValidateBox(b), "the name must have 1 to 31 characters");
}

} // namespace
} // namespace platform::vmbox
