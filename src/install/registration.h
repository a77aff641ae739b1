// Registration with Program Manager: after a successful installation of a
// game package, its group ("Games"), an item for the product and, when an
// uninstaller was placed, an item for the uninstaller are registered over
// DDE with the server "PROGMAN". The command texts come from progman.h;
// each is sent in a conversation of its own. Nothing here is shown to the
// user: a command that Program Manager refuses (a ReplaceItem for an item
// that does not exist yet, for instance) simply has no effect.
#pragma once

// Registers the installed product: initialises a client-only DDE instance
// (when that fails nothing is registered), sends the commands in order
// (after the CreateGroup and the product's AddItem MainWindow is made active
// again, since Program Manager brings its group window to the front), and
// ends the instance. Reads InstallDirectory, programFile, productTitle and
// UninstallerName. A command too long for its block is not sent.
void RegisterWithProgramManager();
