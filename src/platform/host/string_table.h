// The string table as data, for the host platform's LoadString: the builds
// that run on Linux have no resource section, so the table is compiled from
// the same definitions (strings.inc) that the resource script compiles into
// setup.exe.
#pragma once

// The text of string id, or null when there is none.
const char* StringTableText(unsigned id);

// Gives string id the text instead of the table's until it is called again
// (with null, the table's own text is back): for tests that show that a
// caller does not depend on a string's wording. One string at a time.
void OverrideStringTableText(unsigned id, const char* text);
