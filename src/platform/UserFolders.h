#pragma once
// Where a user's own files live: the folder the file dialogs start in before a
// calibration was saved or opened.
#include <string>

// Windows: the user's Documents folder. POSIX: $HOME, else the password entry's
// home folder. Empty when none is known.
std::string UserDocumentsFolder();
