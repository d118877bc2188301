// velkor-echo: a demo device for trying Velkor without hardware.
//
// Serves the named pipe \\.\pipe\velkor-echo and answers like a simple
// instrument: every frame a client writes (what one read delivers) is sent
// back unchanged, and on request a status block goes out periodically.
// Velkor's connect string for it is \\.\pipe\velkor-echo.
//
//   velkor-echo [/pipe NAME] [/status MS] [/quiet]
//
// Each client is served on a thread of its own; a listening instance is
// always ready, so a client may close and reopen at any time. Ctrl+C ends it.
//
// The pipe is this program's alone: its first instance is refused when a
// pipe of the name exists already (whoever made that one would get the
// clients), remote clients are refused, and only the user who started it
// and SYSTEM may open it.
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Read-only after start-up.
static char pipePath[256] = "\\\\.\\pipe\\velkor-echo";
static DWORD statusIntervalMs; // 0: no status block
static bool quiet;

// The status block: 'S', a running number, CR.
static const unsigned char STATUS_MARK = 0x53;
static const unsigned char STATUS_END = 0x0D;
static const DWORD WRITE_WAIT_MS = 2000;
static const DWORD PIPE_BUFFER = 4096;

static void WriteText(DWORD stream, const char *format, va_list args)
{
    char text[512];
    vsnprintf(text, sizeof text, format, args);
    DWORD written;
    WriteFile(GetStdHandle(stream), text, (DWORD)strlen(text), &written, NULL);
}

static void Say(const char *format, ...)
{
    if (quiet)
        return;
    va_list args;
    va_start(args, format);
    WriteText(STD_OUTPUT_HANDLE, format, args);
    va_end(args);
}

static void SayBytes(const char *what, unsigned client, const unsigned char *bytes, DWORD count)
{
    char text[400];
    size_t used = (size_t)snprintf(text, sizeof text, "[%u] %s %lu Bytes:", client, what, (unsigned long)count);
    for (DWORD i = 0; i < count && used + 4 < sizeof text; i++)
        used += (size_t)snprintf(text + used, sizeof text - used, " %02X", bytes[i]);
    Say("%s\n", text);
}

// Writes bytes and waits for them; a client that does not read is given up on.
static bool WriteFrame(HANDLE pipe, OVERLAPPED *ov, const unsigned char *bytes, DWORD count)
{
    DWORD written = 0;
    if (!WriteFile(pipe, bytes, count, &written, ov)) {
        if (GetLastError() != ERROR_IO_PENDING)
            return false;
        if (WaitForSingleObject(ov->hEvent, WRITE_WAIT_MS) != WAIT_OBJECT_0)
            CancelIo(pipe);
        if (!GetOverlappedResult(pipe, ov, &written, TRUE))
            return false;
    }
    return written == count;
}

struct Client {
    HANDLE pipe;
    unsigned number;
};

static DWORD WINAPI ServeClient(LPVOID argument)
{
    Client *client = (Client *)argument;
    HANDLE pipe = client->pipe;
    OVERLAPPED readOv, writeOv;
    ZeroMemory(&readOv, sizeof readOv);
    ZeroMemory(&writeOv, sizeof writeOv);
    readOv.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    writeOv.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    unsigned char frame[256];
    unsigned char status[3] = {STATUS_MARK, 0, STATUS_END};
    DWORD nextStatus = GetTickCount() + statusIntervalMs;
    bool going = readOv.hEvent && writeOv.hEvent;
    bool pending = false; // a read is in flight
    while (going) {
        DWORD got = 0;
        if (!ReadFile(pipe, frame, sizeof frame, &got, &readOv)) {
            if (GetLastError() != ERROR_IO_PENDING)
                break;
            pending = true;
        }
        while (pending) {
            DWORD timeout = INFINITE;
            if (statusIntervalMs) {
                DWORD now = GetTickCount();
                timeout = (LONG)(nextStatus - now) > 0 ? nextStatus - now : 0;
            }
            DWORD wait = WaitForSingleObject(readOv.hEvent, timeout);
            if (wait == WAIT_OBJECT_0) {
                pending = false;
                if (!GetOverlappedResult(pipe, &readOv, &got, FALSE))
                    going = false;
            } else if (wait == WAIT_TIMEOUT) {
                nextStatus += statusIntervalMs;
                if (!WriteFrame(pipe, &writeOv, status, sizeof status)) {
                    going = false;
                    break;
                }
                SayBytes("Status", client->number, status, sizeof status);
                status[1]++;
            } else {
                going = false;
                break;
            }
        }
        if (!going || pending)
            break;
        if (got == 0)
            continue;
        SayBytes("empfangen", client->number, frame, got);
        if (!WriteFrame(pipe, &writeOv, frame, got))
            break;
    }
    if (pending) {
        CancelIo(pipe);
        DWORD unused;
        GetOverlappedResult(pipe, &readOv, &unused, TRUE);
    }
    Say("[%u] getrennt\n", client->number);
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    if (readOv.hEvent)
        CloseHandle(readOv.hEvent);
    if (writeOv.hEvent)
        CloseHandle(writeOv.hEvent);
    HeapFree(GetProcessHeap(), 0, client);
    return 0;
}

// Read-only after start-up: the security of every instance.
static SECURITY_ATTRIBUTES pipeSecurity;

// A descriptor whose list grants the current user and SYSTEM all access and
// nobody else anything; kept for the life of the process.
static bool PreparePipeSecurity()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    static union {
        TOKEN_USER user;
        BYTE bytes[256]; // the SID follows the record
    } owner;
    DWORD length = 0;
    bool ok = GetTokenInformation(token, TokenUser, owner.bytes, sizeof owner.bytes, &length) != FALSE;
    CloseHandle(token);
    PSID user = ok ? owner.user.User.Sid : NULL;
    static BYTE systemBuffer[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof systemBuffer;
    PSID system = systemBuffer;
    ok = ok && CreateWellKnownSid(WinLocalSystemSid, NULL, system, &systemSize);
    static ULONGLONG aclBuffer[128];
    PACL acl = (PACL)aclBuffer;
    static SECURITY_DESCRIPTOR descriptor;
    ok = ok && InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
         AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, user) &&
         AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, system) &&
         InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    pipeSecurity.nLength = sizeof pipeSecurity;
    pipeSecurity.lpSecurityDescriptor = &descriptor;
    pipeSecurity.bInheritHandle = FALSE;
    return ok;
}

static HANDLE NewInstance(bool first)
{
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    return CreateNamedPipeA(pipePath, openMode,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                            PIPE_UNLIMITED_INSTANCES, PIPE_BUFFER, PIPE_BUFFER, 0, &pipeSecurity);
}

// Said whatever /quiet asks: the user must learn why nothing serves.
static void Refuse(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    WriteText(STD_ERROR_HANDLE, format, args);
    va_end(args);
}

static bool ParseArguments(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if ((a[0] == '/' || a[0] == '-') && i + 1 < argc && lstrcmpiA(a + 1, "pipe") == 0) {
            snprintf(pipePath, sizeof pipePath, "\\\\.\\pipe\\%s", argv[++i]);
        } else if ((a[0] == '/' || a[0] == '-') && i + 1 < argc && lstrcmpiA(a + 1, "status") == 0) {
            statusIntervalMs = (DWORD)strtoul(argv[++i], NULL, 10);
        } else if ((a[0] == '/' || a[0] == '-') && lstrcmpiA(a + 1, "quiet") == 0) {
            quiet = true;
        } else {
            return false;
        }
    }
    return true;
}

int main(int argc, char **argv)
{
    if (!ParseArguments(argc, argv)) {
        Say("velkor-echo [/pipe NAME] [/status MS] [/quiet]\n"
            "  Demo-Device: sendet jeden empfangenen Rahmen zurueck;\n"
            "  /status MS sendet alle MS Millisekunden einen Statusblock 53 nn 0D.\n");
        return 2;
    }
    if (!PreparePipeSecurity()) {
        Refuse("velkor-echo: die Zugriffsrechte fuer %s lassen sich nicht anlegen (Fehler %lu)\n", pipePath,
               GetLastError());
        return 1;
    }
    HANDLE listening = NewInstance(true);
    if (listening == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        // A first instance that is refused (FILE_FLAG_FIRST_PIPE_INSTANCE) or
        // finds no room: another program serves this name.
        if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY)
            Refuse("velkor-echo: %s gibt es schon, ein anderes Programm bedient sie (Fehler %lu).\n"
                   "velkor-echo startet nicht; mit /pipe NAME waehlen Sie einen anderen Namen.\n",
                   pipePath, error);
        else
            Refuse("velkor-echo: %s kann nicht angelegt werden (Fehler %lu)\n", pipePath, error);
        return 1;
    }
    Say("velkor-echo: wartet an %s", pipePath);
    if (statusIntervalMs)
        Say(", Statusblock alle %lu ms", (unsigned long)statusIntervalMs);
    Say("\n");
    OVERLAPPED ov;
    ZeroMemory(&ov, sizeof ov);
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!ov.hEvent)
        return 1;
    unsigned clients = 0;
    for (;;) {
        bool connected = ConnectNamedPipe(listening, &ov) || GetLastError() == ERROR_PIPE_CONNECTED;
        if (!connected && GetLastError() == ERROR_IO_PENDING) {
            DWORD unused;
            connected = GetOverlappedResult(listening, &ov, &unused, TRUE) != FALSE;
        }
        HANDLE next = NewInstance(false);
        if (connected) {
            Client *client = (Client *)HeapAlloc(GetProcessHeap(), 0, sizeof(Client));
            HANDLE thread = NULL;
            if (client) {
                client->pipe = listening;
                client->number = ++clients;
                Say("[%u] verbunden\n", client->number);
                thread = CreateThread(NULL, 0, ServeClient, client, 0, NULL);
            }
            if (thread) {
                CloseHandle(thread);
            } else {
                CloseHandle(listening);
                if (client)
                    HeapFree(GetProcessHeap(), 0, client);
            }
        } else {
            CloseHandle(listening);
        }
        if (next == INVALID_HANDLE_VALUE) {
            Say("velkor-echo: keine weitere Instanz von %s (Fehler %lu)\n", pipePath, GetLastError());
            return 1;
        }
        listening = next;
    }
}
