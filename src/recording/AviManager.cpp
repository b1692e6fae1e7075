#include "recording/AviManager.h"

boost::shared_ptr<AviRecorder> AviManager::NewRecording(ISession* session, tagBMPTOAVI_PARMS const& parms,
                                                        std::string const& outputFolder) {
    boost::shared_ptr<AviRecorder> recorder(new AviRecorder(session, parms, outputFolder));
    recorder->Init();
    mRecorders.push_back(recorder);
    return recorder;
}

bool AviManager::IsTherePendingRecorders() const {
    for (boost::shared_ptr<AviRecorder> const& recorder : mRecorders) {
        if (recorder->IsPending()) {
            return true;
        }
    }
    return false;
}

void AviManager::StopAllRecordings() {
    for (boost::shared_ptr<AviRecorder> const& recorder : mRecorders) {
        recorder->Stop();
    }
}
