#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>

#include "FileSinkPin.h"
#include "FilterBase.h"

class FileSinkStream;

// A file writer whose input pin offers the open file as IStream, which the AVI multiplexer
// needs to go back and write its headers. Wine's own file writer does not offer it. The file
// is created when the filter leaves the stopped state and closed when the last holder of the
// stream lets it go (the multiplexer finishes the file as it stops, after the sink).
class FileSinkFilter : public FilterBase, public IFileSinkFilter, private FileSinkPin::Owner {
public:
    FileSinkFilter();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return FilterBase::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return FilterBase::Release(); }
    // IFileSinkFilter
    HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR name, AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) override;

protected:
    IPin* GetPin() override { return static_cast<IPin*>(&mPin); }
    HRESULT OnActivate() override;
    void OnStop() override;

private:
    ~FileSinkFilter() override;
    IStream* CurrentStream() override;

    FileSinkPin mPin;
    std::wstring mFileName;
    FileSinkStream* mStream = nullptr;  // held while not stopped
};
