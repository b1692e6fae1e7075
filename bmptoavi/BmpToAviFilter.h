#pragma once

#include <windows.h>
#include <dshow.h>

#include "BmpToAviPin.h"
#include "FilterBase.h"
#include "recording/IBmpToAvi.h"

// The "BmpToAvi" push source: a filter with one output pin whose samples are the bitmaps
// handed to IBmpToAvi::AddFrame. Delivery holds the filter's lock, so that a Stop cannot
// decommit the allocator under a sample on its way.
class BmpToAviFilter : public FilterBase, public IBmpToAvi {
public:
    BmpToAviFilter();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return FilterBase::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return FilterBase::Release(); }
    // IBmpToAvi
    HRESULT STDMETHODCALLTYPE SetParams(tagBMPTOAVI_PARMS const* parms) override;
    HRESULT STDMETHODCALLTYPE AddFrame(HBITMAP bitmap) override;

protected:
    IPin* GetPin() override { return &mPin; }
    HRESULT OnActivate() override { return mPin.Activate(); }
    void OnStop() override { mPin.Deactivate(); }

private:
    ~BmpToAviFilter() override = default;

    BmpToAviPin mPin;
};
