#include "SystemServices.h"

#include <memory>
#include <utility>

#include "ComPort.h"
#include "FileStore.h"
#include "SettingsStore.h"
#include "ViewerLink.h"

TRegFormServices SystemRegFormServices(IMessagePresenter& messages, IFileChooser& files, IClock& clock,
                                       IPortLister& ports, std::string programDir) {
  static TSafeFileStore fileStore;
  TRegFormServices s;
  s.messages = &messages;
  s.files = &files;
  s.clock = &clock;
  s.ports = &ports;
  s.fileStore = &fileStore;
  s.settings = [] { return CreateUserSettingsStore(); };
  s.serialPort = [] { return std::make_unique<TComPort>(); };
  // The names are taken when the block is opened (tests and demos set a tag).
  s.cursorBlock = [](bool& created) { return OpenCursorBlock(ViewerBlockNames(), created); };
  s.programDir = std::move(programDir);
  return s;
}
