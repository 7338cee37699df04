#include "errors/trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/rtl/exceptions.h"

namespace dac::test {
namespace {

int64_t GClock = 0;
int64_t FakeClock() { return GClock; }

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TraceReset();
    FPath = (std::filesystem::temp_directory_path() /
             ("dac_trace_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".xml"))
                .string();
    std::filesystem::remove(FPath);
  }
  void TearDown() override {
    TraceReset();
    std::filesystem::remove(FPath);
  }
  std::string Contents() {
    std::ifstream in(FPath);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string FPath;
};

void TracedBlobOperation(bool fail) {
  TTraceScope trace(TraceBlob, kTraceBlob, "TPvBlobStream.Seek");
  if (fail) throw std::runtime_error("failed");
}

TEST_F(TraceTest, NothingWrittenOrMeasuredWhenOff) {
  // No file is open: an operation that wrote would raise.
  EXPECT_NO_THROW(TracedBlobOperation(false));
  EXPECT_FALSE(TraceFileIsOpen());
  TraceOpenFile(FPath);
  TraceTiming = true;  // timing alone writes nothing
  TracedBlobOperation(false);
  EXPECT_TRUE(TraceTimingList().empty());
  TraceCloseFile();
  EXPECT_EQ(Contents(), "");
}

TEST_F(TraceTest, NestedElementsAndClosingOnException) {
  TraceOpenFile(FPath);
  TraceBlob = true;
  {
    TTraceScope outer(TraceBlob, kTraceBlob, "TPvDrmBlobStream.Create", true);
    TracedBlobOperation(false);
    EXPECT_THROW(TracedBlobOperation(true), std::runtime_error);
    TTraceScope off(TraceOpen, kTraceOpen, "TPvDataSet.InternalOpen");
  }
  TraceCloseFile();
  EXPECT_EQ(Contents(),
            "<diag type=\"blob\" meth=\"TPvDrmBlobStream.Create\"><!-- - - - - - - - - - - - - - - - - - - - -  1 -->\n"
            "<diag type=\"blob\" meth=\"TPvBlobStream.Seek\">\n"
            "</diag>\n"
            "<diag type=\"blob\" meth=\"TPvBlobStream.Seek\">\n"
            "</diag>\n"
            "</diag>\n");
}

TEST_F(TraceTest, SeparatorsAreNumbered) {
  TraceOpenFile(FPath);
  TraceWrite("a", true);
  TraceWrite("b");
  TraceTiming = true;  // an empty line is no element
  TraceWrite("");
  TraceTiming = false;
  TraceWrite("c", true);
  TraceCloseFile();
  EXPECT_EQ(Contents(),
            "a<!-- - - - - - - - - - - - - - - - - - - - -  1 -->\n"
            "b\n"
            "\n"
            "c<!-- - - - - - - - - - - - - - - - - - - - -  2 -->\n");
}

TEST_F(TraceTest, TimingNotSupported) {
  TraceOpenFile(FPath);
  TraceLocate = TraceTiming = true;
  SetTraceCounterFrequency(0);
  { TTraceScope t(TraceLocate, kTraceLocate, "TPvDataSet.Locate"); }
  TraceCloseFile();
  EXPECT_EQ(Contents(),
            "<diag type=\"locate\" meth=\"TPvDataSet.Locate\">\n"
            "<timing supported=\"false\"/></diag>\n");
}

TEST_F(TraceTest, NestedTimingsReportElapsedSeconds) {
  TraceOpenFile(FPath);
  Trace1590Open = TraceTiming = true;
  SetTraceCounter(&FakeClock);
  SetTraceCounterFrequency(1000);
  GClock = 0;
  {
    TTraceScope outer(Trace1590Open, kTrace1590Open, "TPvAbsSession.DoOpenDatabase");
    GClock = 100;
    {
      TTraceScope inner(Trace1590Open, kTrace1590Open, "TPvAbsSession.FindDatabase");
      GClock = 350;
    }
    GClock = 400;
    {
      TTraceScope second(Trace1590Open, kTrace1590Open, "TPvAbsSession.DoFindDatabase");
      GClock = 1000;
    }
    GClock = 2500;
  }
  TraceCloseFile();
  EXPECT_EQ(Contents(),
            "<diag type=\"1590_open\" meth=\"TPvAbsSession.DoOpenDatabase\">\n"
            "<diag type=\"1590_open\" meth=\"TPvAbsSession.FindDatabase\">\n"
            "<timing secs=\"0.250\"/></diag>\n"
            "<diag type=\"1590_open\" meth=\"TPvAbsSession.DoFindDatabase\">\n"
            "<timing secs=\"0.600\"/></diag>\n"
            "<timing secs=\"2.500\"/></diag>\n");
  EXPECT_TRUE(TraceTimingList().empty());
}

TEST_F(TraceTest, DumpAndStateLines) {
  TraceOpenFile(FPath);
  TraceDump("blob", {TraceState("FCached", true), TraceDatum("FBlobSize", "12"),
                     TraceStateVal("event", "deRecordChange"), TraceDatum("Key", "a<b&\"c\"")});
  TraceCloseFile();
  EXPECT_EQ(Contents(),
            "<dump count=\"blob\">\n"
            "<state name=\"FCached\">true</state>\n"
            "<datum name=\"FBlobSize\">12</datum>\n"
            "<state name=\"event\" val=\"deRecordChange\" />\n"
            "<datum name=\"Key\">a&lt;b&amp;&quot;c&quot;</datum>\n"
            "</dump>\n");
}

TEST_F(TraceTest, SwitchOnWithoutFileRaisesAndLeavesNoTimingRecord) {
  TraceEdit = TraceTiming = true;
  EXPECT_THROW(TTraceScope(TraceEdit, kTraceEdit, "TPvDrmDataSet.PvInternalEdit"), EInOutError);
  EXPECT_TRUE(TraceTimingList().empty());
}

TEST_F(TraceTest, ConfiguredFromTheEnvironment) {
  unsetenv("DAC_TRACE");
  unsetenv("DAC_TRACE_TIMING");
  setenv("DAC_TRACE_FILE", FPath.c_str(), 1);
  EXPECT_FALSE(TraceConfigureFromEnvironment());
  EXPECT_FALSE(TraceFileIsOpen());
  setenv("DAC_TRACE", "Blob, locate,unknown", 1);
  EXPECT_TRUE(TraceConfigureFromEnvironment());
  EXPECT_TRUE(TraceBlob);
  EXPECT_TRUE(TraceLocate);
  EXPECT_FALSE(TraceOpen);
  EXPECT_FALSE(TraceTiming);
  EXPECT_TRUE(TraceFileIsOpen());
  TraceReset();
  setenv("DAC_TRACE", "all", 1);
  EXPECT_TRUE(TraceConfigureFromEnvironment());
  EXPECT_TRUE(Trace1590Open && TraceOpen && TraceLocate && TraceGetRecord && TraceEdit && TraceRefresh &&
              TraceDataEvent && TraceBlob && TraceTiming);
  TraceReset();
  setenv("DAC_TRACE", "edit", 1);
  setenv("DAC_TRACE_TIMING", "1", 1);
  EXPECT_TRUE(TraceConfigureFromEnvironment());
  EXPECT_TRUE(TraceEdit && TraceTiming);
  unsetenv("DAC_TRACE");
  unsetenv("DAC_TRACE_TIMING");
  unsetenv("DAC_TRACE_FILE");
}

}  // namespace
}  // namespace dac::test
