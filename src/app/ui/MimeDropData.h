#pragma once

#include "app/shared/DropData.h"

class QMimeData;

// What a Qt drop or the clipboard carries, for PictureSource: its URLs
// (encoded), text, and picture data in the file formats offered, or else its
// image encoded as PNG. Empty for no data. UI thread.
DropData MimeDropData(const QMimeData* data);
