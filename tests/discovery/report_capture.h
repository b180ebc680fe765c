// Collects the report lines for one test, and starts it with an empty table
// and a running detection.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "wizard/discovery/host_table.h"
#include "wizard/discovery/report.h"

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    report().clear();
    SetReportSink(&Collect);
    ClearHostCandidates();
    detectionActive = 1;
  }
  void TearDown() override { SetReportSink(nullptr); }

  static std::string& report() {
    static std::string text;
    return text;
  }

  static ReportPage& lastPage() {
    static ReportPage page = nullptr;
    return page;
  }

 private:
  static void Collect(ReportPage page, const char* line) {
    report() += line;
    lastPage() = page;
  }
};
