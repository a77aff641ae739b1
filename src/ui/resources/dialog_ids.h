/* The ids of the installer's dialog templates and of the controls that the
   code addresses in them. The resource script (dialogs.rc) and the C++ code
   share this file, so it holds preprocessor definitions only.

   Bands: templates 400 to 412; control ids as the templates fix them (the
   platform's IDOK 1, IDCANCEL 2, IDYES 6 and IDNO 7 for the closing
   buttons, 100 to 110 for the fields and texts, 500 and 1000 for the
   destination dialog's label and separator frame). A control that the code
   never addresses carries SETUP_UNUSED_ID. */
#ifndef SETUP_UI_RESOURCES_DIALOG_IDS_H
#define SETUP_UI_RESOURCES_DIALOG_IDS_H

/* Templates. */
#define IDD_WELCOME 400
#define IDD_DESTINATION 401
#define IDD_GRAPHICS_MODE 403
#define IDD_CONFIRM_HALT 409
#define IDD_FILE_TRANSFER 410
#define IDD_FINISH_AGAIN 411 /* after a re-installation */
#define IDD_FINISH_FIRST 412 /* after a first installation */

#define SETUP_UNUSED_ID -1

/* Closing buttons (the platform's own command ids). */
#define IDC_BUTTON_OK 1
#define IDC_BUTTON_CANCEL 2
#define IDC_BUTTON_YES 6
#define IDC_BUTTON_NO 7

/* Welcome (400). */
#define IDC_WELCOME_SETUP 101
#define IDC_WELCOME_CHANGE_DRIVER 102
#define IDC_WELCOME_TEXT 110

/* Destination (401). */
#define IDC_DEST_FIELD 100
#define IDC_DEST_REQUIRED_KB 101
#define IDC_DEST_AVAILABLE_KB 102
#define IDC_DEST_TEXT 110
#define IDC_DEST_REQUIRED_LABEL 500
#define IDC_DEST_SEPARATOR 1000

/* Graphics mode (403). */
#define IDC_MODE_OPTIMISED 101
#define IDC_MODE_STANDARD 102
#define IDC_MODE_WING 103
#define IDC_MODE_GROUP 104

/* Halt confirmation (409). */
#define IDC_HALT_TEXT 101

/* File transfer (410). */
#define IDC_TRANSFER_NAME 101
#define IDC_TRANSFER_BAR 102

/* Finish (411, 412). */
#define IDC_FINISH_TEXT 101
#define IDC_FINISH_HINT 102

#endif
