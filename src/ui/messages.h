// The installer's message boxes: the caption they carry, the boxes that show
// a string of the string table (plain or with one text argument), and
// ReportResult, which shows a failure returned before any dialog ran. The
// result codes and string ids the boxes show are in base/result.h.
#pragma once

#include <cstddef>

#include "base/result.h"
#include "platform/platform.h"

// The caption "Setup" (string 309), loaded at start-up; SetupBox and the disk
// prompt use it.
extern char Caption[64];

// Fills Caption from string 309.
void LoadCaption();

// Message boxes. SetupBox and PlainWarningBox show the string unchanged;
// FormattedBox formats it with one text argument and captions it with the
// package's programFile. A box the platform cannot show yields 0; every
// caller reads an answer it does not expect as cancel.
int SetupBox(plat::Window owner, unsigned stringId, unsigned type);
int PlainWarningBox(plat::Window owner, unsigned stringId);
int FormattedBox(plat::Window owner, unsigned stringId, const char* argument,
                 unsigned type);
int NoticeBox(plat::Window owner, unsigned stringId, const char* argument);
int RetryCancelBox(plat::Window owner, unsigned stringId, const char* argument);
int YesNoBox(plat::Window owner, unsigned stringId, const char* argument);
int AbortRetryIgnoreBox(plat::Window owner, unsigned stringId,
                        const char* argument);

// Writes string stringId into out (size bytes) with argument in place of its
// one "%s", cut at the end of out; an unknown string gives an empty text.
// For boxes captioned otherwise (the uninstaller's, with the product's
// title).
void FormatStringWithText(unsigned stringId, const char* argument, char* out,
                          size_t size);

// Shows a failure after the fact: 33, 35 and 36 with NoticeBox naming
// SubjectPath (base/result.h), every other code with PlainWarningBox.
void ReportResult(plat::Window owner, ResultCode code);
