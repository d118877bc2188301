// Gathering received bytes into blocks (no windows.h).
