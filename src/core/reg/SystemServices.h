#pragma once
// The services of a real window: the user's settings store and a real serial port,
// beside the window's own message boxes, file dialogs, waits and port list.
#include <string>

#include "reg/reg.h"

TRegFormServices SystemRegFormServices(IMessagePresenter& messages, IFileChooser& files, IClock& clock,
                                       IPortLister& ports, std::string programDir);
