#pragma once

#include <functional>
#include <optional>
#include <string>

// Builds the demo site's "cache.db" with the project's own cache generation
// run against the site at `siteHost` ("host:port"), ids `firstId` to `lastId`,
// in a fresh temporary program directory that is removed afterwards.
// Process-wide state changes: the program directory, the current directory,
// the graphics device (started when none is),
// the log and the server hosts; so call it only where nothing else in the
// process relies on them (the demo site program), from one thread.
// `progress` (may be empty) receives the run's status texts as UTF-8.
// Returns the database file's bytes, or nullopt when none was written.
std::optional<std::string> BuildDemoCache(const std::string& siteHost, int firstId, int lastId,
                                          const std::function<void(const std::string&)>& progress);
