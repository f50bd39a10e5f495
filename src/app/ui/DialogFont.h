#pragma once

#include <QFont>

// The dialog's font: "MS UI Gothic" 9 pt where it is installed, otherwise the
// closest installed Japanese gothic (proportional first, as that face is), so
// Japanese texts never show as empty boxes. UI thread only (needs a
// QGuiApplication).
QFont DialogFont();
