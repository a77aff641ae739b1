// The string table as data, for the builds that have no resource section:
// the same definitions (strings.inc) that the resource script compiles.
#pragma once

// The text of string id, or null when there is none.
const char* StringTableText(unsigned id);
