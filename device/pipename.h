// Whether a connect string names a named pipe (no windows.h). A pipe's
// server may act with the identity of whoever opens it, so such a client
// lends it only an identification.
#ifndef VELKOR_DEVICE_PIPENAME_H
#define VELKOR_DEVICE_PIPENAME_H

// True for \\.\pipe\..., \\?\pipe\..., \??\pipe\..., \\server\pipe\..., the
// UNC and GLOBALROOT spellings of these, either slash, any case.
bool NamesPipe(const char *connectString);

#endif
