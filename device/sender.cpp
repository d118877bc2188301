// Sending a command.
#include "device/sender.h"

void SendSelectedCommand() {}
