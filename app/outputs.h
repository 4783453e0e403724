// The files a run writes as it goes: the recording (--record), the pose CSV (--poses) and the
// point log "kalman.txt". Every write is checked. A failure is said once, on stderr, naming the
// file and the reason; that output stops, the others go on, and the run ends with a non-zero
// status. Rows are flushed as they are written, so that a killed program loses none of them.
#pragma once

#include <cstdio>
#include <string>

#include "app/app_state.h"

constexpr char kPointLogName[] = "kalman.txt";

// Ends one output after a failed write: the message, the file closed, the run marked failed.
void failOutput(AppState& app, FILE*& file, const std::string& name, const char* what);
// Checks the rows just written to `file` and pushes them to the system; on an error, fails it.
void finishRows(AppState& app, FILE*& file, const std::string& name, const char* what);
// The frame just captured, into the recording when one is open.
void recordFrame(AppState& app);
// Finishes every open output (the recording's end, the files closed): false when one of them,
// now or earlier, could not be written.
bool closeOutputs(AppState& app);
