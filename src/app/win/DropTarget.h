#pragma once

#include <ole2.h>

#include <atomic>
#include <functional>

#include "app/win/ComPointer.h"
#include "app/shared/DropData.h"

// The window's OLE drop target: takes what a drag offers (files, links,
// text, picture data) while the window may search, and hands a drop over
// as DropData. Registered for one window while it lives; UI thread only.
class DropTarget : public IDropTarget {
 public:
  // Whether a drop would be taken now (no operation running).
  using MayDrop = std::function<bool()>;
  // Searches what was dropped; true when something was started.
  using OnDrop = std::function<bool(const DropData&)>;

  // A target for `window` (RegisterDragDrop; OLE must be initialised on the
  // calling thread); revoked when the returned pointer's holder calls Revoke.
  static ComPointer<DropTarget> Register(HWND window, MayDrop mayDrop, OnDrop onDrop);
  void Revoke();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDropTarget
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL at, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;

 private:
  DropTarget(HWND window, MayDrop mayDrop, OnDrop onDrop);
  virtual ~DropTarget() = default;
  DWORD Effect(DWORD allowed) const;

  std::atomic<ULONG> references_{1};
  HWND window_;
  MayDrop mayDrop_;
  OnDrop onDrop_;
  bool registered_ = false;
  bool offered_ = false;  // the current drag offers something readable
};
