#pragma once

#include "CorvaneApi.h"

#include <boost/shared_ptr.hpp>
#include <string>
#include <vector>

#include "recording/AviRecorder.h"

// Owns every recorder made; recorders are never removed. The user interface's thread.
class CORVANE_API AviManager {
public:
    // A started recorder of `session`'s viewed desktop (not owned), kept here as well.
    boost::shared_ptr<AviRecorder> NewRecording(ISession* session, tagBMPTOAVI_PARMS const& parms,
                                                std::string const& outputFolder);
    // True when some recorder still has frames queued.
    bool IsTherePendingRecorders() const;
    void StopAllRecordings();

private:
    std::vector<boost::shared_ptr<AviRecorder>> mRecorders;
};
