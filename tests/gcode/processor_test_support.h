#pragma once
// A channel for the processor tests: a G-code processor whose NC output records every
// delivered command and notes how many had arrived when the program's end was reported.

#include <string>
#include <vector>

#include "core/log.h"
#include "gcode/gprocessor_nc2.h"
#include "geometry/recording_output.h"

namespace Karsto::test {

class FinishRecordingOutput : public RecordingOutput {
public:
    void finish() override {
        RecordingOutput::finish();
        linesAtFinish.push_back(lines.size());
    }
    std::vector<size_t> linesAtFinish;
};

struct ProcessorChannel {
    FinishRecordingOutput out; // outlives the processor, whose queue resets it
    GProcessorNc2 processor{&out};
};

} // namespace Karsto::test
