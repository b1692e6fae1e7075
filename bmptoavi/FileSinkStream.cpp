#include "FileSinkStream.h"

#include <algorithm>
#include <cstring>

namespace {

// Wine's multiplexer writes its last block 8 zero bytes longer than its RIFF chunk.
constexpr LONGLONG kMaxTrailingZeros = 64;

}  // namespace

FileSinkStream::FileSinkStream(HANDLE file) : mFile(file) {}

FileSinkStream::~FileSinkStream() {
    EndAtRiffChunk();
    CloseHandle(mFile);
}

// The last holder lets go once the file is complete. Only a few zero bytes are cut: a file
// whose RIFF size was never written keeps everything, for a repair tool to find.
void FileSinkStream::EndAtRiffChunk() {
    unsigned char header[8] = {};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(mFile, &size) || !ReadAt(0, header, sizeof(header)) ||
        std::memcmp(header, "RIFF", 4) != 0) {
        return;
    }
    std::uint32_t declared = 0;
    std::memcpy(&declared, header + 4, 4);
    LONGLONG const end = 8 + static_cast<LONGLONG>(declared);
    LONGLONG const excess = size.QuadPart - end;
    unsigned char tail[kMaxTrailingZeros] = {};
    if (declared == 0 || excess <= 0 || excess > kMaxTrailingZeros ||
        !ReadAt(end, tail, static_cast<ULONG>(excess)) ||
        std::any_of(tail, tail + excess, [](unsigned char byte) { return byte != 0; })) {
        return;
    }
    LARGE_INTEGER target{};
    target.QuadPart = end;
    if (SetFilePointerEx(mFile, target, nullptr, FILE_BEGIN)) {
        SetEndOfFile(mFile);
    }
}

bool FileSinkStream::ReadAt(LONGLONG offset, void* data, ULONG size) {
    LARGE_INTEGER position{};
    position.QuadPart = offset;
    ULONG read = 0;
    return SUCCEEDED(Seek(position, STREAM_SEEK_SET, nullptr)) && Read(data, size, &read) == S_OK &&
           read == size;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
        *object = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FileSinkStream::AddRef() {
    return ++mRefs;
}

ULONG STDMETHODCALLTYPE FileSinkStream::Release() {
    ULONG refs = --mRefs;
    if (refs == 0) {
        delete this;
    }
    return refs;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::Read(void* data, ULONG size, ULONG* read) {
    DWORD done = 0;
    BOOL ok = ReadFile(mFile, data, size, &done, nullptr);
    if (read) {
        *read = done;
    }
    return ok ? (done == size ? S_OK : S_FALSE) : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT STDMETHODCALLTYPE FileSinkStream::Write(void const* data, ULONG size, ULONG* written) {
    DWORD done = 0;
    BOOL ok = WriteFile(mFile, data, size, &done, nullptr);
    if (written) {
        *written = done;
    }
    return ok && done == size ? S_OK : STG_E_WRITEFAULT;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
    LARGE_INTEGER now{};
    if (origin > STREAM_SEEK_END || !SetFilePointerEx(mFile, move, &now, origin)) {
        return STG_E_INVALIDFUNCTION;
    }
    if (position) {
        position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::SetSize(ULARGE_INTEGER size) {
    LARGE_INTEGER here{}, zero{}, target{};
    target.QuadPart = static_cast<LONGLONG>(size.QuadPart);
    if (!SetFilePointerEx(mFile, zero, &here, FILE_CURRENT) ||
        !SetFilePointerEx(mFile, target, nullptr, FILE_BEGIN) || !SetEndOfFile(mFile) ||
        !SetFilePointerEx(mFile, here, nullptr, FILE_BEGIN)) {
        return STG_E_MEDIUMFULL;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::Commit(DWORD) {
    return FlushFileBuffers(mFile) ? S_OK : STG_E_WRITEFAULT;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::Revert() {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::Stat(STATSTG* stat, DWORD) {
    if (!stat) {
        return E_POINTER;
    }
    *stat = STATSTG{};
    LARGE_INTEGER size{};
    GetFileSizeEx(mFile, &size);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileSinkStream::Clone(IStream**) {
    return E_NOTIMPL;
}

HRESULT FileSinkStream::WriteAt(LONGLONG offset, void const* data, ULONG size) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    HRESULT result = Seek(position, STREAM_SEEK_SET, nullptr);
    return SUCCEEDED(result) ? Write(data, size, nullptr) : result;
}
