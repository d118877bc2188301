// Menu items and toolbar buttons that follow the program's state.
#ifndef VELKOR_CONTROLS_CONTROLS_H
#define VELKOR_CONTROLS_CONTROLS_H

#include <windows.h>
#include <commctrl.h>

// A new toolbar: its buttons have the states of the table it was made from.
void NoteToolbarCreated(const TBBUTTON *buttons, int count);
// A toolbar to be made again: its buttons take the states the present one has
// once the changes posted to it are in.
void TakeKnownButtonStates(TBBUTTON *buttons, int count);
// Menu items and toolbar buttons follow connect string and device state.
void RefreshDeviceControls();
// The save command is offered exactly while a command file name is known.
void RefreshSaveControls();

#endif
