#pragma once

#include <windows.h>
#include <objidl.h>

#include <atomic>
#include <cstdint>

#include "BmpToAviModule.h"

// The open output file as a stream that can seek and write, which is how the AVI multiplexer
// writes its file. The file stays open until the last holder lets the stream go, so the
// multiplexer can finish the file after the sink has stopped.
class FileSinkStream : public IStream {
public:
    // Takes ownership of an open file handle.
    explicit FileSinkStream(HANDLE file);
    FileSinkStream(FileSinkStream const&) = delete;
    FileSinkStream& operator=(FileSinkStream const&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(void const* data, ULONG size, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** stream) override;

    // Writes at an absolute offset (the multiplexer's samples carry their offset as time).
    HRESULT WriteAt(LONGLONG offset, void const* data, ULONG size);

private:
    // Ends the file where its RIFF chunk ends.
    virtual ~FileSinkStream();
    void EndAtRiffChunk();
    bool ReadAt(LONGLONG offset, void* data, ULONG size);

    ModuleReference mModule;
    std::atomic<ULONG> mRefs{1};
    HANDLE mFile;  // owned
};
