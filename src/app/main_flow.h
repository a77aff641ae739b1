// The main flow: what the installer does once its package has loaded. It
// reads the graphics-mode setting and shows the welcome dialog; "Setup %s"
// runs the SetupSequence (destination, installation run, settings write,
// Program Manager registration, finish dialog), "Change Graphic Driver"
// runs the graphics-mode dialog and stores the choice on OK. Every dialog
// runs through plat::RunDialog, one after another.
#pragma once

#include "base/result.h"

// Called by start-up after a successful LoadPackage; returns when the
// program is to end, whatever the user chose.
void MainFlow();

// The installation, in order: the destination dialog (2 when the user
// quits it); OpenDataStream (37, shown to nobody, when the InputBuffer
// cannot be had); the installation run; CloseDataStream. A non-zero
// result of the run is returned as it is, with nothing of what follows:
// the settings write (only when the settings were absent), the Program
// Manager registration (not for a Control Panel package) and the finish
// dialog (412 after a first installation, 411 otherwise). Then 0.
ResultCode SetupSequence();
