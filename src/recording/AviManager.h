#pragma once

#include <boost/shared_ptr.hpp>
#include <string>
#include <vector>

#include "recording/AviRecorder.h"

// Owns every recorder made; recorders are never removed. The user interface's thread.
class AviManager {
public:
    // A started recorder for the viewed desktop of `fullName` (UTF-8), kept here as well.
    boost::shared_ptr<AviRecorder> NewRecording(std::string const& fullName, tagBMPTOAVI_PARMS const& parms,
                                                std::string const& outputFolder);
    // True when some recorder still has frames queued.
    bool IsTherePendingRecorders() const;
    void StopAllRecordings();

private:
    std::vector<boost::shared_ptr<AviRecorder>> mRecorders;
};
