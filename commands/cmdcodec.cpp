// The .cmd file codec (no windows.h).
