#pragma once

#include "infra/TextEncoding.h"

// The texts both windows show, as Shift-JIS bytes (each window converts them
// for its toolkit as it shows them). Written once so that the two windows
// cannot come to say different things.
struct WindowTexts {
  static const SjisText kTitle;
  static const SjisText kOpenCaption;
  static const SjisText kExitCaption;
  static const SjisText kSecretCaption;
  static const SjisText kAbortCaption;
  static const SjisText kUpdateCaption;
  static const SjisText kIdle;
  // What an installed copy says once it has found no cache at start-up.
  static const SjisText kNoCache;
  static const SjisText kHelp;
  static const SjisText kSiteCaption;
  static const SjisText kQuerySwatchCaption;
  static const SjisText kPasteCaption;
  static const SjisText kSiteLoading;
  static const SjisText kSiteUndecodable;
  static const SjisText kOpenPageCaption;
  static const SjisText kCopyAddressCaption;
  static const SjisText kCopyIdCaption;
  // The Open dialog's file type filters.
  static const SjisText kPictureFilter;
  static const SjisText kAllFilter;
};
