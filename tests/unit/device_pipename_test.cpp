// Which connect strings name a named pipe, whose opening then lends its
// server an identification only.
#include <gtest/gtest.h>

#include "device/pipename.h"

TEST(PipeName, PipesInEverySpellingButNoPortsDevicesOrFiles)
{
    for (const char *name : {"\\\\.\\pipe\\velkor-echo", "\\\\?\\pipe\\velkor-echo", "\\??\\pipe\\x",
                             "\\\\.\\PIPE\\X", "\\\\.\\Pipe\\x", "//./pipe/velkor-echo", "\\\\server\\pipe\\x",
                             "\\\\10.0.0.5\\PiPe\\x", "\\\\?\\UNC\\server\\pipe\\x", "\\\\.\\unc\\server\\pipe\\x",
                             "\\\\.\\GLOBALROOT\\Device\\NamedPipe\\x", "\\\\.\\pipe\\", "\\\\.\\pipe"})
        EXPECT_TRUE(NamesPipe(name)) << name;
    for (const char *name : {"COM3", "\\\\.\\COM12", "\\\\.\\USB#Vid_04b3&Pid_4485#5&2ad2f960&0&4#{f18a0e88-c30c}",
                             "C:\\pipe\\x", "pipe\\x", "\\pipe\\x", "\\\\server\\share\\pipe\\x", "\\\\.\\pipes\\x",
                             "\\\\.\\pipeline", "\\\\\\pipe\\x", "\\\\?\\UNC\\pipe", "", (const char *)NULL})
        EXPECT_FALSE(NamesPipe(name)) << (name ? name : "(null)");
}
