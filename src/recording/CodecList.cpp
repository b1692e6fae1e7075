#include "recording/CodecList.h"

#include "imaging/ComScope.h"
#include "recording/CodecsEngine.h"

std::vector<std::string> ListVideoCodecs() {
    ComScope com;
    return CodecsEngine().GetCodecs();
}
