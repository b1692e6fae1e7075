#pragma once

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <functional>

#include "BmpToAviModule.h"

// A COM enumerator over one item or a few (a filter's pins, a pin's single media type).
// `make` hands out a new reference or copy of the item at an index for each Next that
// returns it.
template <class Interface, class Item>
class OneItemEnum : public Interface {
public:
    using Maker = std::function<Item(ULONG)>;

    static HRESULT Create(Maker const& make, ULONG count, Interface** result) {
        if (!result) {
            return E_POINTER;
        }
        *result = new OneItemEnum(make, count, 0);
        return S_OK;
    }
    // `count` is 0 or 1.
    static HRESULT Create(std::function<Item()> const& make, ULONG count, Interface** result) {
        return Create([make](ULONG) { return make(); }, count, result);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mRefs; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG refs = --mRefs;
        if (refs == 0) {
            delete this;
        }
        return refs;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, Item* items, ULONG* fetched) override {
        if (!items || (wanted > 1 && !fetched)) {
            return E_POINTER;
        }
        ULONG given = 0;
        while (given < wanted && mPosition < mCount) {
            items[given++] = mMake(mPosition++);
        }
        if (fetched) {
            *fetched = given;
        }
        return given == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        ULONG left = mCount - mPosition;
        mPosition += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        mPosition = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** result) override {
        if (!result) {
            return E_POINTER;
        }
        *result = new OneItemEnum(mMake, mCount, mPosition);
        return S_OK;
    }

private:
    OneItemEnum(Maker const& make, ULONG count, ULONG position)
        : mMake(make), mCount(count), mPosition(position) {}
    virtual ~OneItemEnum() = default;

    ModuleReference mModule;
    std::atomic<ULONG> mRefs{1};
    Maker mMake;
    ULONG mCount;
    ULONG mPosition;
};
