#include "reg/SystemServices.h"

#include <memory>
#include <utility>

#include "ComPort.h"
#include "SettingsStore.h"

TRegFormServices SystemRegFormServices(IMessagePresenter& messages, IFileChooser& files, IClock& clock,
                                       IPortLister& ports, std::string programDir) {
  TRegFormServices s;
  s.messages = &messages;
  s.files = &files;
  s.clock = &clock;
  s.ports = &ports;
  s.settings = [] { return CreateUserSettingsStore(); };
  s.serialPort = [] { return std::make_unique<TComPort>(); };
  s.programDir = std::move(programDir);
  return s;
}
