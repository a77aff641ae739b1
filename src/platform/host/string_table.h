// The string table as data, for the host platform's LoadString: the builds
// that run on Linux have no resource section, so the table is compiled from
// the same definitions (strings.inc) that the resource script compiles into
// setup.exe.
#pragma once

// The text of string id, or null when there is none.
const char* StringTableText(unsigned id);
