// The receive thread and the main window's side of the hand-over.
#include "device/receiver.h"

DWORD WINAPI ReceiveThread(LPVOID) { return 0; }

void HandleBlockReceived(WPARAM, LPARAM) {}

void HandleReaderEnded() {}
