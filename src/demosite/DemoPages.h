#pragma once

#include <string>

#include "demosite/DemoCatalog.h"

// The demo site's pages, as EUC-JP bytes. `host` ("host:port") is the one
// the request was sent to; image addresses in the pages are absolute on it.
// An image page carries, in this order: "<title>" with a five-byte prefix
// before the title, the poster after "情報:" with "様", the image as the first
// "<img " tag, two "../ii" vote links each followed by ':' and the count in
// a tag, and an "iframe" on adult entries only.
// Full image pages are always longer than 4,096 bytes; stub pages shorter.

// The image page, at both page addresses (or only the second, see below).
std::string RenderImagePage(const DemoCatalog& catalog, const DemoEntry& entry, const std::string& host);
// What the first page address gives for an entry with shortFirstPage.
std::string RenderStubPage(const DemoEntry& entry);
// The answer for an id without a page (sent with status 404).
std::string RenderMissingPage(const std::string& id);
// The site's front page: every entry as a thumbnail link.
std::string RenderIndexPage(const DemoCatalog& catalog, const std::string& host);
// The frame an adult page embeds.
std::string RenderAdultNotice();
