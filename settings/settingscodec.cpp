// Decoding of registry values (no windows.h).
