// The installer's process-wide state as a whole, for whoever runs its logic
// more than once in a process: the unit tests before each test, the fuzz
// targets before each input, pkgtool before each command's run.
#pragma once

// Clears the state of every module to what it is before start-up: the
// package, the ui state (the windows' handles, ModalResult), the volume
// reader, the output writer, the decoder (the volume reader as its source,
// the lenient end of stream), placement, the installation run, the
// destination, the graphics-mode setting, SubjectPath and Caption. Nothing
// is closed or freed: release what is held first (CloseDataStream and the
// like).
void ResetInstallerState();
