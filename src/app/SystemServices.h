#pragma once
// The one place that wires the real services to the window's controller: the
// user's settings store, a real serial port, the viewer's block, the safe file
// store, beside the window's own message boxes, file dialogs, waits and port list.
// Both windows' main() and the end-to-end harness use it.
#include <string>

#include "reg/reg.h"

TRegFormServices SystemRegFormServices(IMessagePresenter& messages, IFileChooser& files, IClock& clock,
                                       IPortLister& ports);
