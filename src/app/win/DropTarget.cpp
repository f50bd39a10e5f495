#include "app/win/DropTarget.h"

#include "app/win/DataObjectReader.h"
#include "infra/Log.h"

ComPointer<DropTarget> DropTarget::Register(HWND window, MayDrop mayDrop, OnDrop onDrop) {
  // A COM object owns itself through its reference count; this pointer
  // holds the first reference.
  ComPointer<DropTarget> target(new DropTarget(window, std::move(mayDrop), std::move(onDrop)));
  const HRESULT result = RegisterDragDrop(window, target.Get());
  if (FAILED(result)) {
    WriteLog("DropTarget::Register() : RegisterDragDrop failed, error " + std::to_string(result));
  } else {
    target->registered_ = true;
  }
  return target;
}

DropTarget::DropTarget(HWND window, MayDrop mayDrop, OnDrop onDrop)
    : window_(window), mayDrop_(std::move(mayDrop)), onDrop_(std::move(onDrop)) {}

void DropTarget::Revoke() {
  if (registered_) RevokeDragDrop(window_);
  registered_ = false;
}

HRESULT STDMETHODCALLTYPE DropTarget::QueryInterface(REFIID id, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDropTarget)) {
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DropTarget::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE DropTarget::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

DWORD DropTarget::Effect(DWORD allowed) const {
  if (!offered_ || !mayDrop_()) return DROPEFFECT_NONE;
  // Nothing is moved away from the source: a copy, or a link for a link.
  if (allowed & DROPEFFECT_COPY) return DROPEFFECT_COPY;
  if (allowed & DROPEFFECT_LINK) return DROPEFFECT_LINK;
  return DROPEFFECT_NONE;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  offered_ = OffersPayload(data);
  *effect = Effect(*effect);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  *effect = Effect(*effect);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragLeave() {
  offered_ = false;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  offered_ = OffersPayload(data);
  const DWORD allowed = Effect(*effect);
  offered_ = false;
  if (allowed == DROPEFFECT_NONE) {
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  *effect = onDrop_(ReadDataObject(data)) ? allowed : DROPEFFECT_NONE;
  return S_OK;
}
