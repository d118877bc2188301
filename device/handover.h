// The hand-over of received blocks from the receive thread to the main
// window: a ring of the blocks' bytes and their lengths, and the window's side of it.
#ifndef VELKOR_DEVICE_HANDOVER_H
#define VELKOR_DEVICE_HANDOVER_H

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

// A ring; what it holds is this module's own.
struct HandOverPool;

// Receive thread: true when a block of count bytes (0: an overrun mark) fits;
// a running reader leaves the room a stopping one needs for what it still has.
bool HandOverRoom(HandOverPool *pool, uint32_t count, uint32_t blockLength, bool stopping);
// Receive thread: copies a block into the ring and publishes it; dropped when it does not fit at all.
void PublishBlock(HandOverPool *pool, const unsigned char *bytes, uint32_t count);
// Receive thread: publishes the mark that the device lost bytes here (the window logs a line for it).
void PublishOverrunMark(HandOverPool *pool);
// Receive thread: true when no wake-up is on its way; the caller then owes one.
bool ClaimWakeUp(HandOverPool *pool);
// Receive thread: posts WMU_BLOCK_RECEIVED to window, naming the newest block; false when the post failed.
bool PostWakeUp(HandOverPool *pool, HWND window);

// The ring, made at the first call; null when it cannot be had.
HandOverPool *PrepareHandOver();
// A reader whose end could not be confirmed may still write to pool: it is
// given up, never released, and a new reader gets a fresh one.
void AbandonHandOver(const HandOverPool *pool);
// WMU_BLOCK_RECEIVED: logs blocks that the reader handed over; ignores forgeries.
void HandleBlockReceived(WPARAM wParam, LPARAM lParam);
// WMU_READER_ENDED: logs every block still waiting, then "Empfangsroutine wurde beendet".
void HandleReaderEnded();
// After a reader has ended: wakes the window for blocks it handed over that
// are not logged yet (a killed reader may have owed the wake-up).
void AnnounceWaitingBlocks();
// At exit: releases the hand-over storage.
void ReleaseHandOver();

#endif
