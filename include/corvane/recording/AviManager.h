#pragma once

#include "CorvaneApi.h"

#include <boost/shared_ptr.hpp>
#include <string>
#include <vector>

#include "recording/AviRecorder.h"

// Shares every recorder it made (recorders are never removed): a recorder ends and finishes its
// file when its last holder lets it go. Build it, call it and destroy it on the user
// interface's thread.
class CORVANE_API AviManager {
public:
    // A started recorder of `session`'s viewed desktop (not owned; it may go first, and the
    // recorder then gets no more frames), kept here as well; the caller may keep it too.
    // Raises what the recorder's Init raises (the folder or the frame bitmap cannot be made).
    boost::shared_ptr<AviRecorder> NewRecording(ISession* session, tagBMPTOAVI_PARMS const& parms,
                                                std::string const& outputFolder);
    // True when some recorder still has frames queued.
    bool IsTherePendingRecorders() const;
    // Stops every recorder (AviRecorder::Stop): no new frames, the queues are written out.
    void StopAllRecordings();

private:
    std::vector<boost::shared_ptr<AviRecorder>> mRecorders;
};
