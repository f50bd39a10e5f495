#pragma once

#include <string>

// The journal a writer killed in the middle of a transaction on the database
// at `path` would leave beside it (the database's original pages, its header
// counting them as an unsynced writer's does); the database itself is left
// as it was. Placed beside a database, the library plays it in at the next
// opening. Empty on failure.
std::string HotJournalOf(const std::string& path);
