#include "app/win/ProgramIcon.h"

HICON LoadProgramIcon(int side) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TINTWISE_ICON_ID), IMAGE_ICON,
                                       side, side, LR_DEFAULTCOLOR));
}
