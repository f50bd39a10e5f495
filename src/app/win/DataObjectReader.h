#pragma once

#include <windows.h>
#include <objidl.h>

#include "app/shared/DropData.h"

// Reads what a drop or the clipboard offers: the file list (CF_HDROP), the
// link formats browsers put on a drag (UniformResourceLocatorW, then the
// ANSI one, then Firefox's own), Unicode text, and picture data: a PNG file as offered, else a
// device-independent bitmap (CF_DIBV5, CF_DIB) given the file header that
// makes it a BMP file. A drag source's data may come in global memory or as
// a stream.
DropData ReadDataObject(IDataObject* data);
// The same formats read from the clipboard itself (Ctrl+V, the preview's
// menu): its plain interface gives every format the system converts to.
DropData ReadClipboard(HWND owner);
// Whether `data` offers any of those formats; cheap, for every move of a drag.
bool OffersPayload(IDataObject* data);
