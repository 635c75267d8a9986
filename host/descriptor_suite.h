// The read and write descriptor suites a module uses to replay and record
// its settings. Tokens handed to the module are checked against the live set
// on every call; tokens a module leaves open are closed by the host when the
// run ends. Every pointer a procedure writes through is checked first: a
// null one gets paramErr (the get-key procedure answers false) and nothing
// is written or consumed.
#pragma once

#include "plugin/host_api.h"

#include <cstdint>
#include <vector>

namespace qf::host {

// The descriptor procedures answer this for a value of another type.
constexpr OSErr kWrongTypeErr = -1700;

// How the host offers scripting to a module. The defaults are a complete
// editor; the other settings play editors that lack the suites or offer an
// older or incomplete form of them.
struct DescriptorSuiteOptions {
    bool present = true; // descriptorParameters handed to the module at all
    int16_t parametersVersion = 0;
    bool readSuite = true;
    bool writeSuite = true;
    int16_t readVersion = 0;
    int16_t writeVersion = 0;
    int16_t readProcCount = kReadDescriptorProcCount; // procedures beyond it are null
    int16_t writeProcCount = kWriteDescriptorProcCount;
    int missingReadProc = -1;  // index in suite order of one read procedure left null
    int missingWriteProc = -1; // likewise for the write suite
    int16_t playInfo = plugInDialogDontDisplay;
};

// What the module did with the suites during one run.
struct DescriptorRecord {
    int32_t readOpens = 0;  // calls of the open procedure for reading
    int32_t readTokens = 0; // of those, calls that yielded a token
    int32_t readCloses = 0;
    int32_t writeOpens = 0;
    int32_t writeCloses = 0;
    int32_t tokensLeftOpen = 0;            // closed by the host at the end of the run
    int32_t badTokens = 0;                 // calls with a token that was not alive
    std::vector<DescriptorKeyID> keyList;  // key list of the last open for reading
    std::vector<DescriptorKeyID> keysRead; // keys handed out by the get-key procedure
};

// Fill a suite as the options describe it.
void fillReadDescriptorProcs(ReadDescriptorProcs& procs, const DescriptorSuiteOptions& options);
void fillWriteDescriptorProcs(WriteDescriptorProcs& procs, const DescriptorSuiteOptions& options);

// The record that the suite procedures write into while a run is active;
// ending the session closes the tokens the module left open.
void beginDescriptorSession(DescriptorRecord* record);
void endDescriptorSession();

} // namespace qf::host
