#include "SystemServices.h"

#include <memory>
#include <utility>

#include "ComPort.h"
#include "FileStore.h"
#include "ImageFile.h"
#include "NetServer.h"
#include "SettingsStore.h"
#include "UserFolders.h"
#include "ViewerLink.h"

TRegFormServices SystemRegFormServices(IMessagePresenter& messages, IFileChooser& files, IClock& clock,
                                       IPortLister& ports) {
  static TSafeFileStore fileStore;
  static TSystemNetStack net;
  TRegFormServices s;
  s.messages = &messages;
  s.files = &files;
  s.clock = &clock;
  s.ports = &ports;
  s.fileStore = &fileStore;
  s.net = &net;
  s.loadImage = [](const std::string& path, TNiftiImage& image) { return LoadNiftiHeader(path, image); };
  s.settings = [] { return CreateUserSettingsStore(); };
  s.serialPort = [] { return std::make_unique<TComPort>(); };
  // The names are taken when the block is opened (tests and demos set a tag).
  s.cursorBlock = [](bool& created) { return OpenCursorBlock(ViewerBlockNames(), created); };
  // Never the program's own folder: an installed program's folder is not the
  // user's to write.
  s.documentsDir = UserDocumentsFolder();
  return s;
}
