// Shared set-up of the fuzz targets: a private directory mapped as drive A:
// for the host platform, and message boxes that never wait: every box is
// answered with Cancel (or OK where that is its only button), so a target
// can never loop on a prompt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The host directory that stands for A:\ (created once per process).
const std::string& FuzzDriveDirectory();

// Resets the host platform and the installer's state, maps A:, sets the
// module path to A:\SETUP.EXE and installs the answering responder.
void FuzzResetHost();

// Writes data to A:\<name>.
void FuzzWriteFile(const char* name, const uint8_t* data, size_t size);
