/* The ids of the installer's resources, for the resource script and the
   C++ code alike, so this file holds preprocessor definitions only.

   Bands by kind: dialog templates 400 to 412 and the ids of their controls
   (dialog_ids.h), string ids 32 to 43 and 200 to 316 (strings.inc, whose
   ids the code names in base/result.h), icons from 800. */
#ifndef SETUP_UI_RESOURCES_RESOURCE_H
#define SETUP_UI_RESOURCES_RESOURCE_H

#include "dialog_ids.h"

/* The program's icon: the window class's icon and the one Explorer shows. */
#define IDI_SETUP 800

#endif
