// Menu items and toolbar buttons that follow the program's state.
#ifndef VELKOR_APP_CONTROLS_H
#define VELKOR_APP_CONTROLS_H

// Menu items and toolbar buttons follow connect string and device state.
void RefreshDeviceControls();
// The save command is offered exactly while a command file name is known.
void RefreshSaveControls();

#endif
