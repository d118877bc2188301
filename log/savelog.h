// "Ausgaben speicher": the log's lines to a .msg file.
#ifndef VELKOR_LOG_SAVELOG_H
#define VELKOR_LOG_SAVELOG_H

// Writes every line of the log to a chosen .msg file and offers to empty the log.
void SaveLog();

#endif
