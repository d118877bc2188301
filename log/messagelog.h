// The message log: time-stamped lines in the lower pane.
#ifndef VELKOR_LOG_MESSAGELOG_H
#define VELKOR_LOG_MESSAGELOG_H

#include <windows.h>
#include <stddef.h>

#include "log/logformat.h" // LogKind

// Appends one line of the given kind; kind 3 dumps the text up to its zero byte.
// The newest line is shown within a frame: at once when nothing else waits.
void LogMessage(const char *text, unsigned kind);
// Appends the dump of a received block, every byte (zeros too), 99 per line.
void LogReceivedBlock(const unsigned char *bytes, size_t count);
// The main window was restored: shows the lines logged while it was minimized.
void ShowHeldLog();
// For a newly created log window: no batch open, nothing held, nothing stored.
void ResetMessageLog();
// Starts a batch: lines are added without redrawing until EndLogBatch.
void BeginLogBatch();
// Ends a batch: one redraw, the newest line scrolled into view.
void EndLogBatch();
// Ends a batch whose lines show with the log's next frame (at once when one is due).
void EndLogBatchAtFrame();

#endif
