#include "core/state.h"

#include <cstring>

#include "core/version.h"

namespace vesk {

const char kTitle[] = "VESK " VESK_VERSION;

const TermsTable kDefaultTerms = {
    {"<inherited>", "<not inherited>", "Owner:"},
    {"A", "D"},
    {"FC", "RWX", "RX", "R", "W"},
    {"LRD", "CWD", "FAP", "REA", "WEA", "EXC", "DSF", "RAT", "WAT", "SD", "RC",
     "WD", "WO"},
    {"GA", "GX", "GW", "GR"},
    {"NP", "OI", "CI", "CI+OI", "IO+OI", "IO+CI", "IO+CI+OI", "TC"},
};

AppState appState;
ViewState viewState;
TermsTable termsTable = kDefaultTerms;
EntryLines entryLines;
AccountNames accountNames;
DescriptorReports descriptorReports;
ProgressState progressState;

void resetRun() {
  std::memset(&appState, 0, sizeof appState);
  viewState = ViewState();
  termsTable = kDefaultTerms;
  entryLines.clear();
  accountNames.clear();
  descriptorReports.byBytes.clear();
  descriptorReports.bytes = 0;
  progressState = ProgressState();
}

}  // namespace vesk
