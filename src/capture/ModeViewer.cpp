#include "capture/ModeViewer.h"

#include "capture/ChangePacketReader.h"

ModeViewer::ModeViewer(Handler const& handler, RECT const& area) : mHandler(handler), mCells(*this) {
    mCells.SetArea(area);
}

void ModeViewer::Call(IScreenChange& change) {
    CriticalSectionLock lock(mCallLock);
    if (mDetached) {
        return;
    }
    change.timing = mStarted ? mTimer.GetTimeInMs() : 0;
    try {
        mHandler(change);
    } catch (...) {
        mTimer.Start();
        mStarted = true;
        throw;
    }
    mTimer.Start();
    mStarted = true;
}

void ModeViewer::Detach() {
    CriticalSectionLock lock(mCallLock);
    mDetached = true;
}

template <class Mark>
void ModeViewer::ForEachRect(void const* packet, unsigned long size, int bytesPerPixel, Mark const& mark) {
    ChangePacketReader reader(packet, size, bytesPerPixel);
    ChangePacketRecord record;
    while (reader.Next(record)) {
        mark(record.rect);
    }
}

void ModeViewer::Owe(void const* packet, unsigned long size, int bytesPerPixel) {
    ForEachRect(packet, size, bytesPerPixel, [this](RECT const& rect) { mCells.Mark(rect); });
}

void ModeViewer::NoteLacking(void const* packet, unsigned long size, int bytesPerPixel, DWORD since) {
    std::vector<Note> notes;
    ForEachRect(packet, size, bytesPerPixel, [&](RECT const& rect) { notes.push_back({rect, since}); });
    CriticalSectionLock lock(mNotesLock);
    mNotes.insert(mNotes.end(), notes.begin(), notes.end());
}

void ModeViewer::ApplyNotes() {
    std::vector<Note> notes;
    {
        CriticalSectionLock lock(mNotesLock);
        notes.swap(mNotes);
    }
    for (Note const& note : notes) {
        mCells.MarkLacking(note.rect, note.since);
    }
}

std::vector<RECT> ModeViewer::TakeOwed() {
    std::vector<RECT> rects;
    mCells.StartPass();
    RECT rect;
    while (mCells.NextChangedRect(rect)) {
        rects.push_back(rect);
    }
    return rects;
}

void ModeViewer::Settle(RECT const& area) {
    RECT const current = mCells.GetArea();
    if (!EqualRect(&current, &area)) {
        mCells.SetArea(area);
    }
    mCells.Forget();
    CriticalSectionLock lock(mNotesLock);
    mNotes.clear();
}
