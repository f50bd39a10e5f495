#include "infra/NumberToString.h"

#include <cstdio>

std::string NumberToString(std::int32_t number, int width) {
  char text[256];
  if (width > 0 && width < 200)
    std::snprintf(text, sizeof text, "%0*ld", width, static_cast<long>(number));
  else
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(number));
  return text;
}
