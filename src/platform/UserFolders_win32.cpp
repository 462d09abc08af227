#include "UserFolders.h"

#include <windows.h>
#include <shlobj.h>

std::string UserDocumentsFolder() {
  char path[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) return path;
  return {};
}
