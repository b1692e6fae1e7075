#include "FrameSession.h"

#include "RecordingFrames.h"

void FrameSession::Empty() {
    StateChangeArgs emptied = {this, nullptr, nullptr};
    StateChanging(emptied);
}

void FrameSession::RaiseFrame(int index, int width, int height) {
    HBITMAP frame = RecordingFrames::Make(width, height, index);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, frame);
    RemoteScreenChangeArgs args = {dc, width, height, nullptr, 0, nullptr};
    RemoteScreenChanged(args);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(frame);
}
