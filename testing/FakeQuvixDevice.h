#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "capture/IQuvixDevice.h"
#include "capture/QuvixEscapeBlock.h"

// A mirror driver inside the test process. It installs itself as the process-wide driver's
// device for its lifetime (so the driver counts as attached), answers the surface escapes,
// remembers every block it was given, and writes what a test simulates into the shared
// buffer of the last mapped surface, as the real driver would on a fetch. Test thread only,
// apart from escapes arriving from the driver's sink thread.
class FakeQuvixDevice : public IQuvixDevice {
public:
    struct Call {
        unsigned long code;
        QuvixEscapeBlock block;
    };

    explicit FakeQuvixDevice(SIZE mode);
    ~FakeQuvixDevice() override;

    int Escape(unsigned long code, int size, char const* block) override;
    bool GetDisplayMode(SIZE& mode) override;
    bool Reattach(SIZE const& mode) override;

    // Raises the pending-changes flag; the next change fetch writes `list` after the flags.
    void SimulateChanges(std::vector<unsigned char> const& list);
    // Raises the cursor flag; the next cursor fetch writes `shape` after the flags.
    void SimulateCursorShape(std::vector<unsigned char> const& shape);
    // Sets the change counter in the buffer's last 4 bytes.
    void SimulateCounter(std::uint32_t counter);
    void SetMode(SIZE mode) { mMode = mode; }
    // What the map escape answers (a new id by default).
    void SetMapResult(int result) { mMapResult = result; }

    std::vector<Call> TakeCalls();
    std::vector<SIZE> const& GetReattached() const { return mReattached; }
    unsigned char* GetBuffer() const { return mBuffer; }
    std::uint64_t GetBufferSize() const { return mBufferSize; }

    // A change list of rectangles whose pixels are all `fill`.
    static std::vector<unsigned char> MakeChangeList(std::vector<RECT> const& rects, int bytesPerPixel,
                                                     unsigned char fill);

private:
    void Write(std::vector<unsigned char> const& data, std::uint32_t flag);

    SIZE mMode;
    int mMapResult = 0;
    int mNextSurface = 1;
    unsigned char* mBuffer = nullptr;  // the surface's, not owned
    std::uint64_t mBufferSize = 0;
    std::vector<unsigned char> mPendingChanges;
    std::vector<unsigned char> mPendingShape;
    std::vector<Call> mCalls;
    std::vector<SIZE> mReattached;
};
